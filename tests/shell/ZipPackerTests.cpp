// The packer under each of its ways of holding data: in memory, spilled to a temporary file,
// streamed by libzip for large files, one worker with no read-ahead.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "platform/shell/DeflatePipeline.h"
#include "platform/shell/ShellError.h"
#include "platform/shell/ZipPacker.h"
#include "shell/ShellTestSupport.h"
#include "shell/ZipDirectory.h"
#include "support/RunProcess.h"

namespace zandrel::shell {
namespace {

using namespace zandrel::shell::testing;
using zandrel::testing::ReadFile;
using zandrel::testing::RunProcess;
using zandrel::testing::TempDir;
using zandrel::testing::WriteFile;

TEST(ZipPacker, EveryWayOfHoldingTheDataGivesTheSameArchive) {
    TempDir dir("packer");
    const std::map<std::string, std::string> files = {
        {"src/Unit1.pas", SourceText(40000, 1)},   {"src/Form1.dfm", SourceText(7000, 2)},
        {"src/deep/Ünï.pas", SourceText(900, 3)},  {"src/noise.bin", RandomBytes(200000, 4)},
        {"src/one.txt", "x"},                       {"top.txt", SourceText(120000, 5)}};
    for (const auto& [name, content] : files) {
        std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
        WriteFile(dir / name, content);
    }
    std::filesystem::create_directories(dir / "src/empty");

    struct Case {
        const char* what;
        PackOptions options;
    };
    PackOptions streamed, spilled, serial;
    streamed.inMemoryLimit = 1000; // libzip reads and deflates everything larger itself
    spilled.deflatedMemoryLimit = 0;
    serial.workers = 1;
    serial.window = 1;
    const Case cases[] = {{"defaults", {}}, {"streamed", streamed}, {"spilled", spilled}, {"serial", serial}};

    for (const auto& c : cases) {
        const std::string archive = dir / (std::string(c.what) + ".zip");
        WriteFile(archive, std::string("PK\x05\x06", 4) + std::string(20, '\0'));
        PackIntoZip(archive, {{dir / "src", "src"}, {dir / "top.txt", "top.txt"}}, c.options);

        std::set<std::string> names;
        for (const auto& e : ReadCentralDirectory(archive)) names.insert(e.name);
        EXPECT_EQ(names, (std::set<std::string>{"src/", "src/Form1.dfm", "src/Unit1.pas", "src/deep/", "src/deep/Ünï.pas",
                                                "src/empty/", "src/noise.bin", "src/one.txt", "top.txt"}))
            << c.what;
        const auto test = RunProcess({"/usr/bin/unzip", "-t", archive});
        EXPECT_EQ(test.exitCode, 0) << c.what << test.out;
        for (const auto& [name, content] : files)
            EXPECT_EQ(RunProcess({"/usr/bin/unzip", "-p", archive, name}).out, content) << c.what << " " << name;
    }
}

TEST(ZipPacker, TheArchiveItselfIsNotPackedIntoItself) {
    TempDir dir("packer-self");
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "Demo.zip", "");
    PackIntoZip(dir / "Demo.zip", {{dir.path(), "Demo"}});
    std::set<std::string> names;
    for (const auto& e : ReadCentralDirectory(dir / "Demo.zip")) names.insert(e.name);
    EXPECT_EQ(names, (std::set<std::string>{"Demo/", "Demo/a.txt"}));
}

TEST(ZipPacker, AnArchiveThatCannotBeOpenedIsAnError) {
    TempDir dir("packer-bad");
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "bad.zip", "this is no archive");
    EXPECT_THROW(PackIntoZip(dir / "bad.zip", {{dir / "a.txt", "a.txt"}}), ShellError);
    EXPECT_EQ(ReadFile(dir / "bad.zip"), "this is no archive");
    EXPECT_THROW(PackIntoZip(dir / "nofolder/x.zip", {{dir / "a.txt", "a.txt"}}), ShellError);
}

TEST(DeflatePipeline, TakingOutOfOrderBeyondTheWindowDoesNotStall) {
    TempDir dir("pipeline");
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        paths.push_back(dir / ("f" + std::to_string(i)));
        WriteFile(paths.back(), SourceText(5000 + static_cast<size_t>(i), static_cast<uint64_t>(i)));
    }
    paths.push_back(dir / "missing");
    DeflatePipeline pipeline(paths, 5, 2, 1);
    const DeflatedEntry last = pipeline.Take(5); // five entries past a window of one
    EXPECT_TRUE(last.deflated);
    EXPECT_EQ(last.size, 5005u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(pipeline.Take(i).error, "") << i;
    EXPECT_NE(pipeline.Take(6).error.find("missing"), std::string::npos);
}

} // namespace
} // namespace zandrel::shell
