#include "host/HostProject.h"
#include "host/ProjectMenu.h"

#include <gtest/gtest.h>

namespace zandrel::host {
namespace {

using toolsapi::ComPtr;

class Item : public toolsapi::TNotifierObject, public virtual toolsapi::IOTAZandrelMenu {
public:
    Item(std::string caption, int position) : caption_(std::move(caption)), position_(position) {}
    std::string GetCaption() const override { return caption_; }
    bool GetChecked() const override { return false; }
    bool GetEnabled() const override { return true; }
    int GetHelpContext() const override { return 0; }
    std::string GetName() const override { return {}; }
    std::string GetParent() const override { return {}; }
    int GetPosition() const override { return position_; }
    std::string GetVerb() const override { return {}; }
    void SetCaption(const std::string&) override {}
    void SetChecked(bool) override {}
    void SetEnabled(bool) override {}
    void SetHelpContext(int) override {}
    void SetName(const std::string&) override {}
    void SetParent(const std::string&) override {}
    void SetPosition(int) override {}
    void SetVerb(const std::string&) override {}
    bool GetIsMultiSelectable() const override { return false; }
    void SetIsMultiSelectable(bool) override {}
    void Execute(const toolsapi::IInterfaceList& list) override {
        auto context = ComPtr<toolsapi::IOTAProjectMenuContext>::Query(list[0]);
        executedFor = context ? context->GetProject()->GetFileName() : "?";
    }
    bool PreExecute(const toolsapi::IInterfaceList&) override { return true; }
    bool PostExecute(const toolsapi::IInterfaceList&) override { return true; }
    toolsapi::HRESULT QueryInterface(const toolsapi::TGUID& iid, void** object) override {
        if (iid == IOTAZandrelMenu::IID) return Answer(static_cast<IOTAZandrelMenu*>(this), object);
        if (iid == IOTALocalMenu::IID) return Answer(static_cast<IOTALocalMenu*>(this), object);
        return TNotifierObject::QueryInterface(iid, object);
    }
    std::string executedFor;

private:
    std::string caption_;
    int position_;
};

class Creator : public toolsapi::TNotifierObject, public virtual toolsapi::IOTAProjectMenuItemCreatorNotifier {
public:
    explicit Creator(std::vector<Item*> items) : items_(std::move(items)) {}
    void AddMenu(const ComPtr<toolsapi::IOTAProject>&, const rtl::StringList*, toolsapi::IInterfaceList* list,
                 bool) override {
        for (Item* item : items_) list->Add(ComPtr<toolsapi::IInterface>(ComPtr<toolsapi::IOTAZandrelMenu>(item)));
    }

private:
    std::vector<Item*> items_;
};

TEST(ProjectMenu, OrdersByPositionKeepingTiesInArrivalOrder) {
    ComPtr<THostServices> services(new THostServices);
    auto* upload = new Item("Zip && Upload Project", 1500001);
    ComPtr<toolsapi::IOTAZandrelMenu> keep(upload);
    services->AddMenuItemCreatorNotifier(ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>(
        new Creator({upload, new Item("Zip && Email Project", 1500001)})));
    services->AddMenuItemCreatorNotifier(
        ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier>(new Creator({new Item("&Zip Project", 1500000)})));

    ComPtr<toolsapi::IOTAProject> project(new THostProject("/tmp/Demo.prj"));
    const auto menu = BuildProjectMenu(*services, project);
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].displayCaption, "Zip Project");
    EXPECT_EQ(menu[1].displayCaption, "Zip & Upload Project");
    EXPECT_EQ(menu[2].displayCaption, "Zip & Email Project");

    for (const char* asked : {"zip & upload project", "Zip && Upload Project"}) {
        const auto entry = FindMenuEntry(menu, asked);
        ASSERT_TRUE(entry) << asked;
        EXPECT_EQ(entry->item.get(), static_cast<toolsapi::IOTALocalMenu*>(upload));
    }
    EXPECT_FALSE(FindMenuEntry(menu, "Zip"));
    ASSERT_TRUE(ExecuteMenuEntry(menu[1], project));
    EXPECT_EQ(upload->executedFor, "/tmp/Demo.prj");
}

} // namespace
} // namespace zandrel::host
