// An upload never leaves a truncated file under its final name: an existing file is replaced only
// by a complete one, and nothing of a cancelled or failed upload stays behind. On a server that
// takes files but does not rename them, the first refused rename sends the file again under its
// final name, and so go the later ones; a cancelled one is removed again.
#include <gtest/gtest.h>

#include "FtpTestSupport.h"

namespace zandrel::webcopy {
namespace {

using testing::AddFtpItem;
using testing::Bytes;
using testing::FtpWebCopy;
using testing::WriteLocal;
namespace fs = std::filesystem;

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The names STOR was sent, oldest first.
std::vector<std::string> StoredNames(const test::FtpServer& server) {
    std::vector<std::string> names;
    for (const std::string& line : server.Commands())
        if (line.rfind("STOR ", 0) == 0) names.push_back(line.substr(5));
    return names;
}

class FtpReplace : public ::testing::TestWithParam<bool> {
protected:
    // The parameter: whether the server renames (else it refuses RNFR, as upload-only servers do).
    static test::FtpServerOptions Options(bool renames) {
        test::FtpServerOptions options;
        if (!renames) options.rules = {"RNFR reply 502 Command not implemented."};
        return options;
    }
    FtpReplace() : server_(Options(GetParam())), local_(fs::temp_directory_path() / ("zandrel-replace-" + std::to_string(::getpid()))) {
        fs::remove_all(local_);
        WriteLocal(local_ / "big.bin", Bytes(1 << 20));
        WriteLocal(local_ / "small.txt", "new content");
        server_.WriteFile("pub/small.txt", "old content");
        server_.WriteFile("pub/big.bin", "old big");
    }
    ~FtpReplace() override { fs::remove_all(local_); }

    test::FtpServer server_;
    fs::path local_;
};

TEST_P(FtpReplace, ACompleteUploadReplacesTheFileAndLeavesNothingElse) {
    FtpWebCopy wc;
    AddFtpItem(wc, server_, wpFtpUpload, (local_ / "small.txt").string(), "pub");
    AddFtpItem(wc, server_, wpFtpUpload, (local_ / "big.bin").string(), "pub");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_EQ(server_.ReadFile("pub/small.txt"), "new content");
    EXPECT_TRUE(server_.ReadFile("pub/big.bin") == Bytes(1 << 20));
    EXPECT_EQ(FolderNames(server_.Root() / "pub"), (std::vector<std::string>{"big.bin", "small.txt"}));
    // Nothing is tried out beforehand. A renaming server sees each file once and one rename each;
    // an upload-only one sees the first file twice (its rename refused, then under its name) and
    // the second one only under its name.
    const std::vector<std::string> stored = StoredNames(server_);
    if (GetParam()) {
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_EQ(server_.CountCommands("RNFR"), 2);
        EXPECT_EQ(server_.CountCommands("DELE"), 0);
    } else {
        ASSERT_EQ(stored.size(), 3u);
        EXPECT_EQ(stored[1], "small.txt");
        EXPECT_EQ(stored[2], "big.bin");
    }
}

// What an item says about a file of its name on the server decides between replacing it and the
// next free name, and the item tells which name it took, on servers that rename and on those
// that do not.
TEST_P(FtpReplace, WhenTargetExistsReplacesOrTakesTheNextFreeName) {
    struct Case {
        const char* what;
        TZandrelWebCopyTargetExists policy;
        std::vector<std::string> present; // besides small.txt, which holds "old content"
        std::string stored;
    };
    const std::vector<Case> cases{
        {"replace", teReplace, {}, "small.txt"},
        {"next free name", teNextFreeName, {}, "small_1.txt"},
        {"a gap among earlier uploads", teNextFreeName, {"small_1.txt", "small_3.txt"}, "small_2.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(server_.Root() / "pub");
        server_.WriteFile("pub/small.txt", "old content");
        for (const std::string& name : c.present) server_.WriteFile("pub/" + name, "earlier");
        FtpWebCopy wc;
        AddFtpItem(wc, server_, wpFtpUpload, (local_ / "small.txt").string(), "pub").WhenTargetExists = c.policy;
        wc.Execute();
        ASSERT_TRUE(wc.Items[0].Success()) << (wc.log.empty() ? "" : wc.log.back());
        EXPECT_EQ(wc.Items[0].StoredFilename(), c.stored);
        EXPECT_EQ(server_.ReadFile("pub/" + c.stored), "new content");
        if (c.policy == teNextFreeName) {
            EXPECT_EQ(server_.ReadFile("pub/small.txt"), "old content");
            for (const std::string& name : c.present) EXPECT_EQ(server_.ReadFile("pub/" + name), "earlier") << name;
        }
        // Nothing else is left: no temporary file, no lock.
        std::vector<std::string> expected = c.present;
        expected.push_back("small.txt");
        if (c.stored != "small.txt") expected.push_back(c.stored);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(FolderNames(server_.Root() / "pub"), expected);
    }
}

// Each file of a multi-file upload takes its own next free name.
TEST_P(FtpReplace, AMultiFileUploadTakesTheNextFreeNameForEachFile) {
    WriteLocal(local_ / "many/a.txt", "new a");
    WriteLocal(local_ / "many/b.txt", "new b");
    server_.WriteFile("pub/a.txt", "old a");
    FtpWebCopy wc;
    AddFtpItem(wc, server_, wpMultiFtpUpload, (local_ / "many/*.txt").string(), "pub").WhenTargetExists =
        teNextFreeName;
    wc.Execute();
    ASSERT_TRUE(wc.Items[0].Success());
    EXPECT_EQ(server_.ReadFile("pub/a.txt"), "old a");
    EXPECT_EQ(server_.ReadFile("pub/a_1.txt"), "new a");
    EXPECT_EQ(server_.ReadFile("pub/b.txt"), "new b");
}

TEST_P(FtpReplace, ACancelledUploadLeavesNoShortFileUnderItsName) {
    FtpWebCopy wc;
    int blocks = 0;
    wc.OnCopyProgress = [&](TZandrelWebCopy& sender, int, uint64_t, uint64_t) {
        if (++blocks == 3) sender.CancelCopy();
    };
    AddFtpItem(wc, server_, wpFtpUpload, (local_ / "big.bin").string(), "pub");
    wc.Execute();
    EXPECT_TRUE(wc.Items[0].Cancelled());
    // The old file stays whole until a complete one can take its place (an upload-only server
    // has not refused a rename yet, so the first file goes to a temporary name there too).
    EXPECT_EQ(server_.ReadFile("pub/big.bin"), "old big");
    EXPECT_EQ(FolderNames(server_.Root() / "pub"), (std::vector<std::string>{"big.bin", "small.txt"}));
    // Removed over the connection the upload used: no second login.
    EXPECT_EQ(server_.CountCommands("USER"), 1);
}

// The server fails the file once the data is in (a full disk, a quota): the item fails with its
// reason, and the file already there keeps its content. Nothing is stored under the final name.
TEST_P(FtpReplace, AFullDiskLeavesTheExistingFileAsItWas) {
    test::FtpServerOptions options = Options(GetParam());
    options.rules.push_back("STOR enddata 552 Exceeded storage allocation.");
    test::FtpServer full(options);
    full.WriteFile("pub/big.bin", "old big");
    FtpWebCopy wc;
    AddFtpItem(wc, full, wpFtpUpload, (local_ / "big.bin").string(), "pub");
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    ASSERT_FALSE(wc.reasons.empty());
    EXPECT_NE(wc.reasons.back().find("552 Exceeded storage allocation."), std::string::npos) << wc.reasons.back();
    EXPECT_EQ(full.ReadFile("pub/big.bin"), "old big");
    EXPECT_EQ(FolderNames(full.Root() / "pub"), std::vector<std::string>{"big.bin"});
    EXPECT_FALSE(full.AnyCommandContains("STOR big.bin"));
    EXPECT_FALSE(full.AnyCommandContains("DELE big.bin"));
}

TEST_P(FtpReplace, AnUploadTheServerDoesNotConfirmLeavesNoShortFile) {
    test::FtpServerOptions options = Options(GetParam());
    options.rules.push_back("STOR:*.part enddata 552 Exceeded storage allocation.");
    options.rules.push_back("STOR:big.bin enddata 552 Exceeded storage allocation.");
    test::FtpServer full(options);
    full.WriteFile("pub/keep.txt", "keep");
    FtpWebCopy wc;
    AddFtpItem(wc, full, wpFtpUpload, (local_ / "big.bin").string(), "pub");
    wc.Execute();
    EXPECT_FALSE(wc.Items[0].Success());
    ASSERT_FALSE(wc.reasons.empty());
    EXPECT_NE(wc.reasons.back().find("552"), std::string::npos) << wc.reasons.back();
    EXPECT_EQ(FolderNames(full.Root() / "pub"), std::vector<std::string>{"keep.txt"});
}

// A server that takes files and renames them but refuses to delete any (pure-ftpd -K): an upload
// leaves nothing behind it, not even an empty file of its own.
TEST(FtpReplaceWithoutDelete, NothingIsLeftBehind) {
    test::FtpServerOptions options;
    options.rules = {"DELE reply 550 Prohibited file name."};
    test::FtpServer server(options);
    server.WriteFile("pub/a.txt", "old");
    const fs::path local = fs::temp_directory_path() / ("zandrel-nodele-" + std::to_string(::getpid()));
    WriteLocal(local / "a.txt", "new");
    WriteLocal(local / "b.txt", "b");
    FtpWebCopy wc;
    AddFtpItem(wc, server, wpFtpUpload, (local / "a.txt").string(), "pub");
    AddFtpItem(wc, server, wpFtpUpload, (local / "b.txt").string(), "pub");
    wc.Execute();
    fs::remove_all(local);
    EXPECT_TRUE(wc.Items[0].Success());
    EXPECT_TRUE(wc.Items[1].Success());
    EXPECT_EQ(FolderNames(server.Root() / "pub"), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(server.ReadFile("pub/a.txt"), "new");
    EXPECT_EQ(server.CountCommands("DELE"), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpReplace, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Renaming" : "UploadOnly"; });

} // namespace
} // namespace zandrel::webcopy
