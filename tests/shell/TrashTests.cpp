#include <gtest/gtest.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <filesystem>
#include <linux/magic.h>

#include "platform/shell/Shell.h"
#include "shell/ShellEnvironment.h"
#include "support/RunProcess.h"

namespace zandrel::shell {
namespace {

using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;
namespace fs = std::filesystem;

TEST(MoveToTrash, MovesAFolderWithItsContentIntoTheUsersTrash) {
    TempDir dir("trash");
    const std::string folder = dir / "Demooutput";
    fs::create_directories(folder + "/sub");
    WriteFile(folder + "/Unit1.pas", "unit");
    WriteFile(folder + "/sub/.hidden", "h");

    const TrashResult result = MoveToTrash(folder);
    ASSERT_EQ(result.outcome, TrashOutcome::Trashed) << result.message;
    EXPECT_EQ(result.message, "");
    EXPECT_FALSE(fs::exists(folder));

    // The trash keeps the folder whole, with the record that lets it be restored.
    bool found = false;
    const std::string trash = testing::XdgDataHome() + "/Trash";
    for (const auto& entry : fs::directory_iterator(trash + "/files")) {
        if (entry.path().filename().string().rfind("Demooutput", 0) != 0) continue;
        found = fs::exists(entry.path() / "sub/.hidden") &&
                fs::exists(trash + "/info/" + entry.path().filename().string() + ".trashinfo");
    }
    EXPECT_TRUE(found) << "not in " << trash;
}

TEST(MoveToTrash, AMissingPathFailsWithAMessageAndNothingElseHappens) {
    TempDir dir("trash-missing");
    const TrashResult result = MoveToTrash(dir / "nothing-here");
    EXPECT_EQ(result.outcome, TrashOutcome::Failed);
    EXPECT_NE(result.message, "");
    EXPECT_EQ(MoveToTrash("").outcome, TrashOutcome::Failed);
}

TEST(MoveToTrash, WhereNoTrashCanBeHadItSaysSoAndLeavesTheFolder) {
    struct statfs fsInfo {};
    if (statfs("/dev/shm", &fsInfo) != 0 || fsInfo.f_type != TMPFS_MAGIC || access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable tmpfs at /dev/shm";
    const std::string folder = "/dev/shm/zandrel-trash-test-" + std::to_string(getpid());
    fs::create_directories(folder);
    WriteFile(folder + "/keep.txt", "still here");

    const TrashResult result = MoveToTrash(folder);
    EXPECT_EQ(result.outcome, TrashOutcome::NotSupported) << result.message;
    EXPECT_NE(result.message, "");
    EXPECT_TRUE(fs::exists(folder + "/keep.txt")) << "the folder must not be deleted for good";
    fs::remove_all(folder);
}

} // namespace
} // namespace zandrel::shell
