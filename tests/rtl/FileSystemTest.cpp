// Staging files and making fresh folders and files, on real files, links, pipes and sockets.
#include "platform/rtl/FileSystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "platform/rtl/Error.h"
#include "support/RunProcess.h"

namespace zandrel::rtl {
namespace {

namespace fs = std::filesystem;
using zandrel::testing::ReadFile;
using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(LinkOrCopyFile, StagesRegularFilesAndPassesOverEverythingElseWithoutOpeningIt) {
    TempDir dir("stage");
    fs::create_directories(dir / "out");
    WriteFile(dir / "plain.pas", "plain");
    WriteFile(dir / "target.pas", "the target's content");
    fs::create_symlink("target.pas", dir / "link.pas");
    fs::create_symlink("missing.pas", dir / "dangling.pas");
    ASSERT_EQ(mkfifo((dir / "pipe.pas").c_str(), 0644), 0);
    fs::create_directories(dir / "folder.pas");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "sock.pas";
    const bool haveSocket = socketPath.size() < sizeof address.sun_path;
    if (haveSocket) {
        socketPath.copy(address.sun_path, socketPath.size());
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    // A regular file whose content cannot be read, even by the superuser, on another file system.
    fs::create_symlink("/proc/self/mem", dir / "unreadable.pas");

    const struct {
        const char* name;
        StageResult::Outcome outcome;
        const char* error;
    } cases[] = {
        {"plain.pas", StageResult::Linked, ""},
        {"link.pas", StageResult::Linked, ""}, // the file it points to
        {"dangling.pas", StageResult::Failed, "No such file or directory"},
        {"pipe.pas", StageResult::NotAFile, ""},
        {"folder.pas", StageResult::NotAFile, ""},
        {"sock.pas", StageResult::NotAFile, ""},
        {"unreadable.pas", StageResult::Failed, "Input/output error"},
    };
    for (const auto& c : cases) {
        if (std::string(c.name) == "sock.pas" && !haveSocket) continue;
        const StageResult r = LinkOrCopyFile(dir / c.name, dir / (std::string("out/") + c.name));
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
        const bool staged = c.outcome == StageResult::Linked || c.outcome == StageResult::Copied;
        EXPECT_EQ(fs::exists(fs::symlink_status(dir / (std::string("out/") + c.name))), staged) << c.name;
    }
    close(sock);
    EXPECT_EQ(InodeOf(dir / "out/plain.pas"), InodeOf(dir / "plain.pas"));
    EXPECT_EQ(InodeOf(dir / "out/link.pas"), InodeOf(dir / "target.pas"));
    EXPECT_EQ(KindOfPath(dir / "out/link.pas"), PathKind::File);
    // Deleting the staged link leaves the user's file as it was.
    DeleteFile(dir / "out/plain.pas");
    EXPECT_EQ(ReadFile(dir / "plain.pas"), "plain");
}

TEST(LinkOrCopyFile, CopiesWhereNoLinkCanBeMadeAndKeepsTheDetails) {
    TempDir dir("stage-copy");
    const std::string other = "/dev/shm/zandrel-stage-" + std::to_string(getpid());
    std::error_code ec;
    if (!fs::create_directories(other, ec)) GTEST_SKIP() << "no second file system at /dev/shm";
    WriteFile(other + "/far.pas", std::string(200000, 'x'));
    chmod((other + "/far.pas").c_str(), 0640);
    const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    utimensat(AT_FDCWD, (other + "/far.pas").c_str(), times, 0);
    const StageResult r = LinkOrCopyFile(other + "/far.pas", dir / "far.pas");
    fs::remove_all(other);
    EXPECT_EQ(r.outcome, StageResult::Copied) << r.error;
    EXPECT_EQ(ReadFile(dir / "far.pas"), std::string(200000, 'x'));
    struct stat st {};
    ASSERT_EQ(stat((dir / "far.pas").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1600000000);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(LinkOrCopyFile, AFileTheUserCannotReadIsNamedNotStaged) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser reads every file whatever its mode";
    TempDir dir("stage-perm");
    WriteFile(dir / "secret.pas", "x");
    chmod((dir / "secret.pas").c_str(), 0);
    const StageResult r = LinkOrCopyFile(dir / "secret.pas", dir / "staged.pas");
    EXPECT_EQ(r.outcome, StageResult::Failed);
    EXPECT_EQ(r.error, "Permission denied");
    EXPECT_FALSE(fs::exists(dir / "staged.pas"));
}

// A fresh folder is never one that was there before, and a link in its place is not followed.
TEST(CreateFreshDirectory, TakesTheNameOnlyWhenItIsFree) {
    TempDir dir("fresh");
    EXPECT_EQ(CreateFreshDirectory(dir / "Demooutput"), dir / "Demooutput");
    fs::create_directories(dir / "elsewhere");
    WriteFile(dir / "Filed", "a file of that name");
    fs::create_symlink("elsewhere", dir / "Linked");
    for (const char* taken : {"Demooutput", "Filed", "Linked"}) {
        const std::string made = CreateFreshDirectory(dir / taken);
        EXPECT_NE(made, dir / taken);
        EXPECT_EQ(made.rfind(dir / taken + "-", 0), 0u) << made;
        EXPECT_EQ(KindOfPath(made), PathKind::Directory);
    }
    EXPECT_EQ(ReadFile(dir / "Filed"), "a file of that name");
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_THROW(CreateFreshDirectory(dir / "no/such/parent"), Error);
}

TEST(CreateUniqueFile, NeverReusesANameAndReplaceFileSwapsInOneStep) {
    TempDir dir("unique");
    const std::string a = CreateUniqueFile(dir.path(), ".zandrel-x-", "first", 0640);
    const std::string b = CreateUniqueFile(dir.path(), ".zandrel-x-", "second");
    EXPECT_NE(a, b);
    EXPECT_EQ(ReadFile(a), "first");
    EXPECT_EQ(FilePermissions(a), 0640);
    fs::create_symlink("/etc/hostname", dir / "target");
    EXPECT_EQ(ReplaceFile(a, dir / "target"), "");
    EXPECT_EQ(KindOfPath(dir / "target"), PathKind::File); // the link was replaced, not followed
    EXPECT_EQ(ReadFile(dir / "target"), "first");
    EXPECT_EQ(ReplaceFile(dir / "missing", dir / "target"), "No such file or directory");
    EXPECT_EQ(CreateNewFile(b, "again"), "cannot create \"" + b + "\": File exists");
}

TEST(OpenFile, OpensOnlyRegularFilesForReadingAndNeverWaitsOnAPipe) {
    TempDir dir("openfile");
    WriteFile(dir / "plain.txt", "0123456789");
    fs::create_symlink("plain.txt", dir / "link.txt");
    fs::create_directories(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0); // no writer: a plain open would wait forever
    const struct {
        std::string path;
        int error; // 0: opens
    } cases[] = {
        {dir / "plain.txt", 0},
        {dir / "link.txt", 0}, // the file it points to
        {dir / "missing.txt", ENOENT},
        {dir / "folder", EISDIR},
        {dir / "pipe", EINVAL},
        {"/dev/null", EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        OpenFile file;
        errno = 0;
        EXPECT_EQ(file.OpenForReading(c.path), c.error == 0);
        if (c.error != 0) {
            EXPECT_EQ(errno, c.error);
            EXPECT_FALSE(file.IsOpen());
            continue;
        }
        EXPECT_EQ(file.Size(), 10u);
        char buffer[16];
        EXPECT_EQ(file.Read(buffer, sizeof buffer), 10);
        EXPECT_EQ(std::string(buffer, 10), "0123456789");
        EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);
        // The same file under every name it has, and no other.
        EXPECT_TRUE(file.IsSameFileAs(dir / "plain.txt"));
        EXPECT_TRUE(file.IsSameFileAs(dir / "link.txt"));
        EXPECT_TRUE(file.IsSameFileAs(dir.path() + "/folder/../plain.txt"));
        EXPECT_FALSE(file.IsSameFileAs(dir / "folder"));
        EXPECT_FALSE(file.IsSameFileAs(dir / "missing.txt"));
    }
}

TEST(OpenFile, WritesCopiesAndReportsAFullDisk) {
    TempDir dir("openfile-write");
    const std::string content(300000, 'x');
    WriteFile(dir / "source", content);
    OpenFile source;
    ASSERT_TRUE(source.OpenForReading(dir / "source"));
    OpenFile target;
    ASSERT_TRUE(target.CreateNew(dir / "target"));
    EXPECT_FALSE(OpenFile().CreateNew(dir / "target")); // a name already taken
    EXPECT_EQ(errno, EEXIST);
    // The kernel's copy where it can; reads and writes take over where it cannot.
    uint64_t copied = 0;
    for (int64_t n; (n = source.CopyTo(target, 65536)) > 0;) copied += static_cast<uint64_t>(n);
    if (copied == 0) {
        char buffer[65536];
        for (int64_t n; (n = source.Read(buffer, sizeof buffer)) > 0;) {
            ASSERT_TRUE(target.WriteAll(buffer, static_cast<size_t>(n)));
            copied += static_cast<uint64_t>(n);
        }
    }
    EXPECT_EQ(copied, content.size());
    EXPECT_TRUE(target.SetPermissions(0640));
    EXPECT_TRUE(target.Close());
    EXPECT_EQ(ReadFile(dir / "target"), content);
    EXPECT_EQ(FilePermissions(dir / "target"), 0640);

    OpenFile full;
    ASSERT_TRUE(full.CreateOrTruncate("/dev/full"));
    EXPECT_FALSE(full.WriteAll(content.data(), content.size()));
    EXPECT_EQ(errno, ENOSPC);
}

} // namespace
} // namespace zandrel::rtl
