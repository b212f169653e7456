// Local file items (wpFile without a share) run by the component on real files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "platform/rtl/DateTime.h"
#include "webcopy/FtpTestSupport.h"
#include "webcopy/Utilities.h"

namespace zandrel::webcopy::testing {
namespace {

class FileCopy : public ::testing::Test {
protected:
    FileCopy() : root_(fs::temp_directory_path() / ("zandrel-filecopy-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "src");
        fs::create_directories(root_ / "out");
    }
    ~FileCopy() override { fs::remove_all(root_); }

    TZandrelWebCopyItem& Add(TZandrelWebCopy& wc, const std::string& url, const std::string& targetDir,
                             const std::string& targetName = "") {
        TZandrelWebCopyItem& item = wc.Items.Add();
        item.Protocol = wpFile;
        item.URL = url;
        item.TargetDir = targetDir;
        item.TargetFilename = targetName;
        return item;
    }
    std::string Src(const std::string& name) const { return (root_ / "src" / name).string(); }
    std::string Out(const std::string& name = "") const { return (root_ / "out" / name).string(); }

    fs::path root_;
};

TEST_F(FileCopy, CopiesTheWholeFileUnderTheNameAsked) {
    // Several blocks and a short last one; an empty file; names from the URL or the item; the
    // file scheme in any case; a target folder that does not exist yet.
    const std::string big = Bytes(3 * 256 * 1024 + 1234);
    WriteLocal(Src("big.bin"), big);
    WriteLocal(Src("empty.txt"), "");
    struct Case {
        std::string url, targetDir, targetName, expectedPath;
    };
    const std::vector<Case> cases = {
        {Src("big.bin"), Out(), "", Out("big.bin")},
        {Src("big.bin"), Out("new/deeper"), "renamed.dat", Out("new/deeper/renamed.dat")},
        {"FiLe://" + Src("big.bin"), Out(), "scheme.bin", Out("scheme.bin")},
        {Src("empty.txt"), Out(), "", Out("empty.txt")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.expectedPath);
        FtpWebCopy wc(true);
        Add(wc, c.url, c.targetDir, c.targetName);
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_FALSE(Logged(wc.log, "error 1")) << ::testing::PrintToString(wc.log);
        const std::string expected = c.url.find("empty") != std::string::npos ? std::string() : big;
        ASSERT_TRUE(fs::is_regular_file(c.expectedPath));
        EXPECT_EQ(ReadLocal(c.expectedPath), expected);
        EXPECT_EQ(wc.LastFile(), c.expectedPath);
        const std::string size = std::to_string(expected.size());
        EXPECT_EQ(wc.log[wc.log.size() - 3], "progress 1 " + size + "/" + size); // last step: all of it
    }
    // No temporary file stays behind.
    EXPECT_EQ(Names(Out()), (std::vector<std::string>{"big.bin", "empty.txt", "new", "scheme.bin"}));
}

TEST_F(FileCopy, FailuresSayWhyAndLeaveTheTargetAlone) {
    WriteLocal(Src("a.txt"), "source");
    fs::create_directories(root_ / "src" / "folder");
    WriteLocal(Out("mem"), "kept");
    WriteLocal(Out("folder"), "kept");
    ASSERT_EQ(mkfifo(Src("pipe").c_str(), 0644), 0); // nobody writes: opening it must not wait
    struct Case {
        std::string url, targetDir, targetName, error, reason;
    };
    const std::vector<Case> cases = {
        {Src("missing.txt"), Out(), "", "error 1", "No such file or directory"},
        {Src("folder"), Out(), "", "error 1", "Is a directory"},
        {Src("pipe"), Out(), "", "error 1", "not a regular file"},
        {Src("a.txt"), Src(""), "a.txt", "error 0", "the same file"},  // the very same path
        {Src("a.txt"), root_.string() + "/out/../src", "a.txt", "error 0", "is the source file itself"},
        {"/proc/self/mem", Out(), "", "error 4", "Input/output error"},  // a read that fails
        {Src("a.txt"), "/dev", "full", "error 3", "not a regular file"}, // a device is not replaced
        {Src("a.txt"), Src("a.txt") + "/sub", "", "error 3", "Not a directory"}, // no folder there
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " -> " + c.targetDir + "/" + c.targetName);
        FtpWebCopy wc;
        Add(wc, c.url, c.targetDir, c.targetName);
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        ASSERT_TRUE(Logged(wc.log, c.error)) << ::testing::PrintToString(wc.log);
        ASSERT_EQ(wc.reasons.size(), 1u);
        EXPECT_NE(wc.reasons[0].find(c.reason), std::string::npos) << wc.reasons[0];
    }
    EXPECT_EQ(ReadLocal(Src("a.txt")), "source");
    EXPECT_EQ(ReadLocal(Out("mem")), "kept");
    EXPECT_EQ(Names(Out()), (std::vector<std::string>{"folder", "mem"}));
}

TEST_F(FileCopy, NewerOnlyComparesTheSourceDate) {
    WriteLocal(Src("f.txt"), "new content");
    SetMtime(Src("f.txt"), 1700000000);
    const TDateTime sourceDate = LocalDate(1700000000);
    {
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, Src("f.txt"), Out());
        item.CopyNewerOnly = true;
        item.FileDate = sourceDate; // what the caller already has
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].NoNewVersion());
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_TRUE(Logged(wc.log, "nonew " + Src("f.txt")));
        EXPECT_FALSE(fs::exists(Out("f.txt")));
    }
    {
        FtpWebCopy wc;
        TZandrelWebCopyItem& item = Add(wc, Src("f.txt"), Out());
        item.CopyNewerOnly = true;
        item.FileDate = LocalDate(1600000000);
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_FALSE(wc.Items[0].NoNewVersion());
        EXPECT_NEAR(wc.Items[0].NewFileDate, sourceDate, 1e-9);
        EXPECT_EQ(ReadLocal(Out("f.txt")), "new content");
    }
}

TEST_F(FileCopy, AnExistingTargetIsAskedAboutAndReplacedOnlyWhole) {
    WriteLocal(Src("f.txt"), "new");
    WriteLocal(Out("f.txt"), "old");
    {
        FtpWebCopy wc;
        wc.OnCopyOverWrite = [](TZandrelWebCopy&, const std::string&, bool& allow) { allow = false; };
        Add(wc, Src("f.txt"), Out());
        wc.Execute();
        EXPECT_FALSE(wc.Items[0].Success());
        EXPECT_EQ(ReadLocal(Out("f.txt")), "old");
    }
    {
        FtpWebCopy wc;
        wc.CreateUniqueFilenames = true;
        Add(wc, Src("f.txt"), Out());
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_EQ(wc.LastFile(), Out("f.txt")); // the name asked for, before the unique one
        EXPECT_EQ(wc.Items[0].StoredFilename(), Out("f(1).txt")); // where the copy went
        EXPECT_EQ(ReadLocal(Out("f.txt")), "old");
        EXPECT_EQ(ReadLocal(Out("f(1).txt")), "new");
    }
    {
        FtpWebCopy wc;
        Add(wc, Src("f.txt"), Out());
        wc.Execute();
        EXPECT_TRUE(wc.Items[0].Success());
        EXPECT_EQ(ReadLocal(Out("f.txt")), "new");
    }
}

TEST_F(FileCopy, CancelStopsTheCopyAndKeepsTheOldFile) {
    WriteLocal(Src("big.bin"), Bytes(16 * 1024 * 1024));
    WriteLocal(Out("big.bin"), "old");
    FtpWebCopy wc;
    int steps = 0;
    wc.OnCopyProgress = [&](TZandrelWebCopy& sender, int, uint64_t, uint64_t) {
        if (++steps == 2) sender.CancelCopy();
    };
    Add(wc, Src("big.bin"), Out());
    Add(wc, Src("big.bin"), Out(), "second.bin");
    wc.Execute();
    EXPECT_EQ(steps, 2); // stopped after the block during which it was asked
    EXPECT_TRUE(wc.Items[0].Cancelled());
    EXPECT_FALSE(wc.Items[0].Success());
    EXPECT_EQ(ReadLocal(Out("big.bin")), "old");
    EXPECT_EQ(Names(Out()), std::vector<std::string>{"big.bin"}); // no second file, no temporary one
}

} // namespace
} // namespace zandrel::webcopy::testing
