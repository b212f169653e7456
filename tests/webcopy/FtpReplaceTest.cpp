// An upload never leaves a truncated file under its final name: an existing file is replaced only
// by a complete one, and nothing of a cancelled or failed upload stays behind. On a server that
// takes files but does not rename them, the file goes under its final name and a cancelled one
// is removed again.
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
    // Whether the server renames is found out once for the folder, not once per file.
    EXPECT_EQ(server_.CountCommands("RNFR"), GetParam() ? 3 : 1);
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
    if (GetParam()) {
        // The old file stays whole until a complete one can take its place.
        EXPECT_EQ(server_.ReadFile("pub/big.bin"), "old big");
        EXPECT_EQ(FolderNames(server_.Root() / "pub"), (std::vector<std::string>{"big.bin", "small.txt"}));
    } else {
        // Without renames the old file was overwritten by the transfer itself; the short new
        // one is removed.
        EXPECT_EQ(FolderNames(server_.Root() / "pub"), (std::vector<std::string>{"small.txt"}));
    }
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

INSTANTIATE_TEST_SUITE_P(Servers, FtpReplace, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Renaming" : "UploadOnly"; });

} // namespace
} // namespace zandrel::webcopy
