#include "ide/ContextMenu.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "host/HostProject.h"
#include "host/HostServices.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "platform/ui/terminal/TerminalBackend.h"
#include "support/RunProcess.h"

namespace zandrel::ide {
namespace {

using toolsapi::ComPtr;

std::vector<ComPtr<toolsapi::IOTALocalMenu>> MenuFor(const ComPtr<IOTAProject>& project, const rtl::StringList* idents,
                                                     bool multi) {
    ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier> creator(new TProjectContextMenu);
    IInterfaceList list;
    creator->AddMenu(project, idents, &list, multi);
    std::vector<ComPtr<toolsapi::IOTALocalMenu>> items;
    for (int i = 0; i < list.Count(); ++i) items.push_back(ComPtr<toolsapi::IOTALocalMenu>::Query(list[i]));
    return items;
}

TEST(ContextMenu, OffersThreeItemsOnASingleProjectNode) {
    ComPtr<IOTAProject> project(new host::THostProject("/nowhere/Demo.prj"));
    rtl::StringList idents;
    idents.Add("FileContainer");
    idents.Add("ProjectContainer");
    const auto items = MenuFor(project, &idents, false);
    ASSERT_EQ(items.size(), 3u);
    const std::pair<const char*, int> expected[] = {
        {"Zip Project", 1500000}, {"Zip && Upload Project", 1500001}, {"Zip && Email Project", 1500001}};
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(items[i]);
        EXPECT_EQ(items[i]->GetCaption(), expected[i].first);
        EXPECT_EQ(items[i]->GetPosition(), expected[i].second);
        EXPECT_TRUE(items[i]->GetEnabled());
        EXPECT_FALSE(items[i]->GetChecked());
        EXPECT_EQ(items[i]->GetName(), "");
        EXPECT_EQ(items[i]->GetParent(), "");
        EXPECT_EQ(items[i]->GetVerb(), "");
        EXPECT_EQ(items[i]->GetHelpContext(), 0);
        auto command = ComPtr<toolsapi::IOTAZandrelMenu>::Query(items[i]);
        ASSERT_TRUE(command);
        EXPECT_FALSE(command->GetIsMultiSelectable());
        IInterfaceList empty;
        EXPECT_TRUE(command->PreExecute(empty));
        EXPECT_TRUE(command->PostExecute(empty));
    }
}

TEST(ContextMenu, OffersNothingElsewhere) {
    ComPtr<IOTAProject> project(new host::THostProject("/nowhere/Demo.prj"));
    rtl::StringList projectNode, otherNode;
    projectNode.Add("ProjectContainer");
    otherNode.Add("projectcontainer"); // the ident must match exactly
    otherNode.Add("FileContainer");
    EXPECT_TRUE(MenuFor(project, &projectNode, true).empty()) << "several nodes selected";
    EXPECT_TRUE(MenuFor(project, &otherNode, false).empty());
    EXPECT_TRUE(MenuFor(nullptr, &projectNode, false).empty());
    EXPECT_TRUE(MenuFor(project, nullptr, false).empty());
    TProjectContextMenu menu;
    EXPECT_TRUE(menu.CanHandle("ProjectContainer"));
    EXPECT_FALSE(menu.CanHandle("ProjectContainer "));
}

// Records the cursor values a command sets; the terminal backend cannot show a cursor at all.
class CursorLog : public ui::Backend {
public:
    explicit CursorLog(std::vector<int>& log) : inner_(ui::CreateTerminalBackend({.handleInterrupt = false})), log_(log) {}
    std::unique_ptr<ui::FormPeer> CreateFormPeer(ui::Form& f) override { return inner_->CreateFormPeer(f); }
    std::unique_ptr<ui::ControlPeer> CreateControlPeer(ui::Control& c) override { return inner_->CreateControlPeer(c); }
    void ProcessMessages() override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    void SetCursor(int cursor) override { log_.push_back(cursor); }
    void SetClipboardText(const std::string&) override {}
    std::string ClipboardText() override { return {}; }
    int CaptionHeight() const override { return 23; }
    int ScreenWidth() const override { return 1024; }
    int ScreenHeight() const override { return 768; }
    std::vector<std::string> messages;

private:
    std::unique_ptr<ui::Backend> inner_;
    std::vector<int>& log_;
};

class ContextCommands : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (scratch_ / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (scratch_ / "data").c_str(), 1);
        ui::InstallBackend(std::make_unique<CursorLog>(cursors_));
    }
    void TearDown() override { ui::RemoveBackend(); }

    void Run(int which, const std::string& projectFile) {
        ComPtr<IOTAProject> project(new host::THostProject(projectFile));
        rtl::StringList idents;
        idents.Add("ProjectContainer");
        const auto items = MenuFor(project, &idents, false);
        IInterfaceList context;
        context.Add(ComPtr<toolsapi::IInterface>(
            ComPtr<toolsapi::IOTAProjectMenuContext>(new host::THostMenuContext(project))));
        ComPtr<toolsapi::IOTAZandrelMenu>::Query(items.at(static_cast<size_t>(which)))->Execute(context);
    }

    testing::TempDir scratch_{"ide-commands"};
    std::vector<int> cursors_;
};

TEST_F(ContextCommands, HourglassShowsWhileTheCommandRunsAndIsRestored) {
    testing::WriteFile(scratch_ / "Demo/Demo.prj", "p");
    Run(1, scratch_ / "Demo/Demo.prj"); // upload without a host: stops after its message
    EXPECT_EQ(cursors_, (std::vector<int>{ui::crHourGlass, ui::crDefault}));
    auto& log = static_cast<CursorLog&>(ui::CurrentBackend());
    EXPECT_EQ(log.messages, std::vector<std::string>{"upload settings"});
}

TEST_F(ContextCommands, AProjectThatCannotBeSavedIsLeftAlone) {
    Run(0, scratch_ / "Missing/Demo.prj");
    EXPECT_TRUE(cursors_.empty());
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "Missing"));
}

TEST_F(ContextCommands, AnEmptyContextListDoesNothing) {
    ComPtr<IOTAProject> project(new host::THostProject(scratch_ / "Demo.prj"));
    rtl::StringList idents;
    idents.Add("ProjectContainer");
    const auto items = MenuFor(project, &idents, false);
    ComPtr<toolsapi::IOTAZandrelMenu>::Query(items[0])->Execute(IInterfaceList{});
    EXPECT_TRUE(cursors_.empty());
}

// A small project on tmpfs, with the host's message view published.
class SmallProjectCommands : public ContextCommands {
protected:
    void SetUp() override {
        ContextCommands::SetUp();
        testing::WriteFile(scratch_ / "config/zandrel/user.reg",
                           "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_CURRENT_USER\\Software\\QuillonSoftware\\FTPUploaderIDEPlugin]\n"
                           "\"ZIPFilter\"=\"*.PAS\"\n");
        std::filesystem::remove_all(dir_);
        std::error_code ec;
        if (!std::filesystem::create_directories(dir_ + "/Demo", ec)) GTEST_SKIP() << "no tmpfs at /dev/shm";
        testing::WriteFile(dir_ + "/Demo/Demo.prj", "p");
        testing::WriteFile(dir_ + "/Demo/main.pas", "unit main;");
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        ContextCommands::TearDown();
    }
    ComPtr<host::THostServices> services_{new host::THostServices};
    host::ServicesScope published_{services_};
    const std::string dir_ = "/dev/shm/zandrel-ide-" + std::to_string(getpid());
};

// Only what the command staged is deleted for good; a file the user kept in a folder of that
// name survives, and a folder the command made itself goes.
TEST_F(SmallProjectCommands, OnlyWhatWasStagedIsDeleted) {
    testing::WriteFile(dir_ + "/Demo/Demooutput/keep.txt", "the user's own file");
    Run(0, dir_ + "/Demo/Demo.prj");
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/Demo/Demo.zip"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/Demo/Demooutput/main.pas"));
    EXPECT_EQ(testing::ReadFile(dir_ + "/Demo/Demooutput/keep.txt"), "the user's own file");
}

TEST_F(SmallProjectCommands, AFolderTheCommandMadeIsRemoved) {
    Run(0, dir_ + "/Demo/Demo.prj");
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/Demo/Demo.zip"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/Demo/Demooutput"));
    ASSERT_EQ(services_->Messages().size(), 1u);
    EXPECT_EQ(services_->Messages()[0].kind, toolsapi::TMessageKind::mkInfo);
    EXPECT_EQ(services_->Messages()[0].text, "The archive is " + dir_ + "/Demo/Demo.zip");
}

// A stop asked for (Ctrl-C) ends the command with its own message; the old archive stays and
// nothing the command made is left.
TEST_F(SmallProjectCommands, AStopLeavesTheOldArchiveAndSaysSo) {
    testing::WriteFile(dir_ + "/Demo/Demo.zip", "the archive from before");
    ui::RequestInterrupt();
    Run(0, dir_ + "/Demo/Demo.prj");
    EXPECT_FALSE(ui::InterruptPending()) << "the command acted on the stop";
    EXPECT_EQ(testing::ReadFile(dir_ + "/Demo/Demo.zip"), "the archive from before");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/Demo")) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"Demo.prj", "Demo.zip", "main.pas"}));
    ASSERT_EQ(services_->Messages().size(), 1u);
    EXPECT_EQ(services_->Messages()[0].kind, toolsapi::TMessageKind::mkStopped);
    EXPECT_EQ(services_->Messages()[0].text, "Zip Project stopped; the previous archive was left as it was");
}

} // namespace
} // namespace zandrel::ide
