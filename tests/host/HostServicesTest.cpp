#include "host/HostProject.h"
#include "host/HostServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/toolsapi/Services.h"

namespace zandrel::host {
namespace {

using toolsapi::ComPtr;

class NullCreator : public toolsapi::TNotifierObject, public virtual toolsapi::IOTAProjectMenuItemCreatorNotifier {
public:
    void AddMenu(const ComPtr<toolsapi::IOTAProject>&, const rtl::StringList*, toolsapi::IInterfaceList*, bool) override {}
};

TEST(HostServices, KeepsCreatorsByIndexAndForgetsRemovedOnes) {
    ComPtr<THostServices> services(new THostServices);
    auto* first = new NullCreator;
    ComPtr<toolsapi::IOTAProjectMenuItemCreatorNotifier> a(first), b(new NullCreator);
    const int ia = services->AddMenuItemCreatorNotifier(a);
    const int ib = services->AddMenuItemCreatorNotifier(b);
    EXPECT_NE(ia, ib);
    EXPECT_EQ(first->RefCount(), 2); // ours and the host's
    services->RemoveMenuItemCreatorNotifier(ia);
    EXPECT_EQ(first->RefCount(), 1);
    ASSERT_EQ(services->Creators().size(), 1u);
    EXPECT_EQ(services->Creators()[0], b);
    services->RemoveMenuItemCreatorNotifier(ia); // twice is harmless
    EXPECT_EQ(services->CreatorCount(), 1);
}

TEST(HostServices, PublishedAsIDEServicesWhileInScope) {
    ComPtr<THostServices> services(new THostServices);
    {
        ServicesScope scope(services);
        EXPECT_TRUE(toolsapi::QueryService<toolsapi::IOTAZandrel>());
    }
    EXPECT_THROW(toolsapi::QueryService<toolsapi::IOTAZandrel>(), toolsapi::EIntfCastError);
}

TEST(HostProject, SavesOnlyAWritableExistingFile) {
    const auto dir = std::filesystem::temp_directory_path() / ("zandrel-host-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = (dir / "Demo.prj").string();
    std::ofstream(file) << "project";
    EXPECT_TRUE(THostProject(file).Save(false, true));
    chmod(file.c_str(), 0444);
    EXPECT_FALSE(THostProject(file).Save(false, true)); // read-only, even for the superuser
    EXPECT_FALSE(THostProject((dir / "Missing.prj").string()).Save(false, true));
    EXPECT_FALSE(THostProject(dir.string()).Save(false, true)); // a folder is no project file
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zandrel::host
