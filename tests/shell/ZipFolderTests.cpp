// Packing through "Shell.Application" exactly as the project commands do: NameSpace of the
// staging folder and of the archive, Items, Filter, CopyHere, then wait for the copy to end.
#include <gtest/gtest.h>

#include <zip.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "platform/automation/Automation.h"
#include "platform/rtl/Threads.h"
#include "platform/shell/Shell.h"
#include "shell/ShellTestSupport.h"
#include "shell/ZipDirectory.h"
#include "support/RunProcess.h"

namespace zandrel::shell {
namespace {

using automation::Variant;
using namespace zandrel::shell::testing;
using zandrel::testing::ReadFile;
using zandrel::testing::RunProcess;
using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;

const std::string kStub = std::string("PK\x05\x06", 4) + std::string(20, '\0');

std::map<std::string, CentralEntry> EntriesByName(const std::string& archive) {
    std::map<std::string, CentralEntry> byName;
    for (auto& e : ReadCentralDirectory(archive)) byName[e.name] = e;
    return byName;
}

std::set<std::string> NamesOf(const std::map<std::string, CentralEntry>& entries) {
    std::set<std::string> names;
    for (const auto& [name, entry] : entries) names.insert(name);
    return names;
}

// Starts the copy as the packaging code does; returns the completed-copies count from before.
uint64_t StartCopy(const std::string& archive, const std::string& folder, const std::string& filter) {
    auto shell = automation::CreateObject("Shell.Application");
    const Variant source = shell->Invoke("NameSpace", {Variant(folder)});
    const Variant target = shell->Invoke("NameSpace", {Variant(archive)});
    const Variant items = source.AsObject()->Invoke("Items", {});
    if (!filter.empty()) items.AsObject()->Invoke("Filter", {Variant(0xC0), Variant(filter)});
    const uint64_t completedBefore = CompletedCopies();
    target.AsObject()->Invoke("CopyHere", {items, Variant(0)});
    return completedBefore;
}

bool WaitForCompletion(uint64_t completedBefore) {
    for (int i = 0; i < 6000 && CompletedCopies() == completedBefore; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return CompletedCopies() > completedBefore;
}

void PackFolder(const std::string& archive, const std::string& folder, const std::string& filter) {
    ASSERT_TRUE(WaitForCompletion(StartCopy(archive, folder, filter))) << "the copy did not finish";
    EXPECT_EQ(LastCopyError(), "");
}

void ExpectToolsAccept(const std::string& archive) {
    const auto unzip = RunProcess({"/usr/bin/unzip", "-t", archive});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out << unzip.err;
    const auto sevenZip = RunProcess({"/usr/bin/7z", "t", archive});
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out << sevenZip.err;
}

class ZipFolderCopy : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(staging);
        WriteFile(archive, kStub);
    }
    TempDir dir{"zipfolder"};
    std::string staging = dir / "Demooutput";
    std::string archive = dir / "Demo.zip";
};

TEST_F(ZipFolderCopy, PacksTheFilteredFilesWithUtf8NamesAndTheirTimes) {
    std::tm when{};
    when.tm_year = 2021 - 1900, when.tm_mon = 5, when.tm_mday = 15, when.tm_hour = 10, when.tm_min = 20, when.tm_sec = 30;
    when.tm_isdst = -1;
    const time_t mtime = mktime(&when);
    const std::map<std::string, std::string> files = {{"Unit1.pas", SourceText(20000, 1)},
                                                      {".hidden.pas", "hidden but packed"},
                                                      {"Ünïcödé.pas", SourceText(3000, 2)},
                                                      {"Demo.res", RandomBytes(5000, 3)},
                                                      {"empty.txt", ""}};
    for (const auto& [name, content] : files) {
        WriteFile(staging + "/" + name, content);
        SetModificationTime(staging + "/" + name, mtime);
    }
    std::filesystem::create_directories(staging + "/sub");
    WriteFile(staging + "/sub/inner.pas", "not packed: folders are filtered out");

    const int threadsBefore = rtl::CountProcessThreads();
    PackFolder(archive, staging, "*.*");
    EXPECT_TRUE(ThreadCountReturnsTo(threadsBefore));

    const auto entries = EntriesByName(archive);
    EXPECT_EQ(NamesOf(entries), (std::set<std::string>{".hidden.pas", "Demo.res", "Unit1.pas", "empty.txt", "Ünïcödé.pas"}));
    uint16_t dosDate = 0, dosTime = 0;
    ToDosTime(mtime, dosDate, dosTime);
    for (const auto& [name, entry] : entries) {
        EXPECT_EQ(entry.dosDate, dosDate) << name;
        EXPECT_EQ(entry.dosTime, dosTime) << name;
        EXPECT_EQ(entry.size, files.at(name).size()) << name;
    }
    EXPECT_TRUE(entries.at("Ünïcödé.pas").flags & 0x800) << "the UTF-8 name flag is missing";
    EXPECT_EQ(entries.at("Unit1.pas").method, 8);
    ExpectToolsAccept(archive);

    const auto extracted = RunProcess({"/usr/bin/unzip", "-p", archive, "Ünïcödé.pas"});
    EXPECT_EQ(extracted.out, files.at("Ünïcödé.pas"));
}

TEST_F(ZipFolderCopy, NoMatchingFileLeavesTheEmptyArchive) {
    WriteFile(staging + "/Unit1.pas", "x");
    PackFolder(archive, staging, "*.res");
    EXPECT_EQ(ReadFile(archive), kStub);
    int code = 0;
    zip_t* z = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    ASSERT_NE(z, nullptr) << code;
    EXPECT_EQ(zip_get_num_entries(z, 0), 0);
    zip_discard(z);
    EXPECT_EQ(RunProcess({"/usr/bin/7z", "t", archive}).exitCode, 0);
}

TEST_F(ZipFolderCopy, StoresWhatDeflateCannotShrink) {
    WriteFile(staging + "/noise.bin", RandomBytes(3 << 20, 4));
    WriteFile(staging + "/Unit1.pas", SourceText(1 << 20, 5));
    PackFolder(archive, staging, "*.*");
    const auto entries = EntriesByName(archive);
    EXPECT_EQ(entries.at("noise.bin").method, 0);
    EXPECT_EQ(entries.at("noise.bin").compressedSize, 3u << 20);
    EXPECT_EQ(entries.at("Unit1.pas").method, 8);
    EXPECT_LT(entries.at("Unit1.pas").compressedSize, (1u << 20) / 3);
    ExpectToolsAccept(archive);
}

TEST_F(ZipFolderCopy, CopyingAgainReplacesEntriesOfTheSameNameAndKeepsTheOthers) {
    WriteFile(staging + "/Unit1.pas", "first");
    WriteFile(staging + "/Old.pas", "old");
    PackFolder(archive, staging, "*.*");
    std::filesystem::remove(staging + "/Old.pas");
    WriteFile(staging + "/Unit1.pas", "second version");
    PackFolder(archive, staging, "*.*");

    EXPECT_EQ(NamesOf(EntriesByName(archive)), (std::set<std::string>{"Old.pas", "Unit1.pas"}));
    EXPECT_EQ(RunProcess({"/usr/bin/unzip", "-p", archive, "Unit1.pas"}).out, "second version");
    ExpectToolsAccept(archive);
}

TEST_F(ZipFolderCopy, CopyRunsOnAThreadOfItsOwnThatEndsWhenItReportsCompletion) {
    for (int i = 0; i < 8; ++i) WriteFile(staging + "/part" + std::to_string(i) + ".bin", RandomBytes(3 << 20, 10 + i));
    const int threadsBefore = rtl::CountProcessThreads();
    const uint64_t startedBefore = StartedCopies();

    const uint64_t completedBefore = StartCopy(archive, staging, "*.*");
    // Counted as started before CopyHere returned, and still running: the archive is not written yet.
    EXPECT_EQ(StartedCopies(), startedBefore + 1);
    EXPECT_GT(rtl::CountProcessThreads(), threadsBefore);

    // The wait of the packaging code: thread count, or the shell's word that the copy is done.
    for (int polls = 0; polls < 6000 && rtl::CountProcessThreads() != threadsBefore; ++polls) {
        if (CompletedCopies() > completedBefore) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(WaitForCopies(std::chrono::seconds(60)));
    EXPECT_EQ(CopiesInFlight(), 0u);
    EXPECT_TRUE(ThreadCountReturnsTo(threadsBefore));
    EXPECT_EQ(LastCopyError(), "");
    EXPECT_EQ(ReadCentralDirectory(archive).size(), 8u);
}

// A file that cannot be read is left out and named; the rest is packed.
TEST_F(ZipFolderCopy, AFileThatCannotBeReadIsLeftOutAndNamed) {
    WriteFile(staging + "/Unit1.pas", "packed");
    WriteFile(staging + "/Vanishing.pas", "gone before the copy reads it");
    auto shell = automation::CreateObject("Shell.Application");
    const Variant items = shell->Invoke("NameSpace", {Variant(staging)}).AsObject()->Invoke("Items", {});
    std::filesystem::remove(staging + "/Vanishing.pas");
    const int threadsBefore = rtl::CountProcessThreads();
    const uint64_t completedBefore = CompletedCopies();
    shell->Invoke("NameSpace", {Variant(archive)}).AsObject()->Invoke("CopyHere", {items, Variant(0)});

    ASSERT_TRUE(WaitForCompletion(completedBefore));
    const CopyReport report = LastCopyReport();
    EXPECT_EQ(report.error, "");
    ASSERT_EQ(report.leftOut.size(), 1u);
    EXPECT_EQ(report.leftOut[0].path, staging + "/Vanishing.pas");
    EXPECT_EQ(report.leftOut[0].reason, "No such file or directory");
    EXPECT_TRUE(ThreadCountReturnsTo(threadsBefore));
    EXPECT_EQ(NamesOf(EntriesByName(archive)), std::set<std::string>{"Unit1.pas"});
    ExpectToolsAccept(archive);
}

TEST_F(ZipFolderCopy, CopyHereRefusesWhatIsNotAnItemCollection) {
    auto shell = automation::CreateObject("Shell.Application");
    const auto target = shell->Invoke("NameSpace", {Variant(archive)}).AsObject();
    const uint64_t started = StartedCopies();
    EXPECT_THROW(target->Invoke("CopyHere", {Variant(42), Variant(0)}), automation::TypeMismatch);
    EXPECT_THROW(target->Invoke("CopyHere", {Variant(shell), Variant(0)}), automation::TypeMismatch);
    EXPECT_EQ(StartedCopies(), started);
}

TEST(FolderCopy, CopyHereIntoAPlainFolderCopiesTheItems) {
    TempDir dir("foldercopy");
    std::filesystem::create_directories(dir / "from/sub");
    std::filesystem::create_directories(dir / "to");
    WriteFile(dir / "from/a.txt", "a");
    WriteFile(dir / "from/sub/b.txt", "b");
    auto shell = automation::CreateObject("Shell.Application");
    const Variant items = shell->Invoke("NameSpace", {Variant(dir / "from")}).AsObject()->Invoke("Items", {});
    const uint64_t completedBefore = CompletedCopies();
    shell->Invoke("NameSpace", {Variant(dir / "to")}).AsObject()->Invoke("CopyHere", {items});
    ASSERT_TRUE(WaitForCompletion(completedBefore));
    EXPECT_EQ(ReadFile(dir / "to/a.txt"), "a");
    EXPECT_EQ(ReadFile(dir / "to/sub/b.txt"), "b");
}

} // namespace
} // namespace zandrel::shell
