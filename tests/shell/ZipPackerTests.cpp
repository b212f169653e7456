// The packer under each of its ways of holding data: in memory, spilled to a temporary file,
// streamed by libzip for large files, one worker with no read-ahead.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
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

// Every name the file system allows goes in as its very bytes; UTF-8 names carry the flag, names
// in other encodings do not.
TEST(ZipPacker, NamesAreStoredByteForByte) {
    TempDir dir("packer-names");
    enum Flag { Without, With, Either };
    const struct {
        std::string name;
        Flag utf8Flag;
    } cases[] = {
        {"plain.pas", Without},
        {"Ünïcödé.pas", With},
        {"latin1-\xE9t\xE9.pas", Without},   // ISO 8859-1 bytes, not UTF-8
        {"ctl-\x01\x1f-tab\t.pas", Without},  // control characters
        {"ünï-and-\x07" "bell.pas", Without}, // UTF-8 with a control character: raw bytes
        // Not UTF-8, though libzip's looser test takes them for it and sets the flag.
        {"overlong-\xC0\xAF.pas", Either},
        {"lone-\xED\xA0\x80-surrogate", Either},
    };
    std::vector<PackItem> items;
    for (const auto& c : cases) {
        WriteFile(dir / ("in/" + c.name), "content of " + c.name);
        items.push_back({dir / ("in/" + c.name), c.name});
    }
    WriteFile(dir / "out.zip", "");
    EXPECT_TRUE(PackIntoZip(dir / "out.zip", items).empty());

    std::map<std::string, CentralEntry> byName;
    for (const auto& e : ReadCentralDirectory(dir / "out.zip")) byName[e.name] = e;
    for (const auto& c : cases) {
        ASSERT_TRUE(byName.count(c.name)) << "missing or altered: " << c.name;
        if (c.utf8Flag != Either) {
            EXPECT_EQ((byName[c.name].flags & 0x800) != 0, c.utf8Flag == With) << c.name;
        }
    }
    const auto unzip = RunProcess({"/usr/bin/unzip", "-t", dir / "out.zip"});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out << unzip.err;
    const auto sevenZip = RunProcess({"/usr/bin/7z", "t", dir / "out.zip"});
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.out << sevenZip.err;
}

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900, when.tm_mon = month - 1, when.tm_mday = day;
    when.tm_hour = hour, when.tm_min = minute, when.tm_sec = second, when.tm_isdst = -1;
    return mktime(&when);
}

// The format holds 1980 to 2107; a date outside becomes the nearest one inside, not a wrapped one.
TEST(ZipPacker, DatesOutsideTheFormatsRangeAreClamped) {
    TempDir dir("packer-dates");
    const struct {
        const char* name;
        time_t mtime;
        time_t stored;
    } cases[] = {
        {"future.pas", LocalTime(2150, 6, 1, 12, 0, 0), LocalTime(2107, 12, 31, 23, 59, 58)},
        {"ancient.pas", LocalTime(1970, 1, 2, 0, 0, 0), LocalTime(1980, 1, 1, 0, 0, 0)},
        {"ordinary.pas", LocalTime(2021, 6, 15, 10, 20, 30), LocalTime(2021, 6, 15, 10, 20, 30)},
        {"last.pas", LocalTime(2107, 12, 31, 23, 59, 58), LocalTime(2107, 12, 31, 23, 59, 58)},
    };
    std::vector<PackItem> items;
    for (const auto& c : cases) {
        WriteFile(dir / c.name, SourceText(3000, 7)); // deflated: the date of the deflated path
        SetModificationTime(dir / c.name, c.mtime);
        items.push_back({dir / c.name, c.name});
    }
    WriteFile(dir / "big.bin", RandomBytes(300000, 8)); // stored: the date of libzip's own path
    SetModificationTime(dir / "big.bin", LocalTime(2150, 1, 1, 0, 0, 0));
    items.push_back({dir / "big.bin", "big.bin"});
    WriteFile(dir / "out.zip", "");
    PackIntoZip(dir / "out.zip", items);

    std::map<std::string, CentralEntry> byName;
    for (const auto& e : ReadCentralDirectory(dir / "out.zip")) byName[e.name] = e;
    for (const auto& c : cases) {
        uint16_t date = 0, time = 0;
        ToDosTime(c.stored, date, time);
        EXPECT_EQ(byName[c.name].dosDate, date) << c.name;
        EXPECT_EQ(byName[c.name].dosTime, time) << c.name;
    }
    uint16_t date = 0, time = 0;
    ToDosTime(LocalTime(2107, 12, 31, 23, 59, 58), date, time);
    EXPECT_EQ(byName["big.bin"].dosDate, date);
}

// Stopping, and failing to write, leave the archive as it was and no file of the attempt behind.
TEST(ZipPacker, AStopOrAFailedWriteLeavesTheArchiveAsItWas) {
    TempDir dir("packer-stop");
    std::vector<PackItem> items;
    for (int i = 0; i < 20; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        WriteFile(dir / ("in/" + name), RandomBytes(200000, static_cast<uint64_t>(i)));
        items.push_back({dir / ("in/" + name), name});
    }
    WriteFile(dir / "in/small.pas", "small");
    WriteFile(dir / "out.zip", "");
    PackIntoZip(dir / "out.zip", {{dir / "in/small.pas", "small.pas"}});
    const std::string before = ReadFile(dir / "out.zip");
    auto leftovers = [&] {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename());
        return names;
    };

    // Stops at the first question, after a few entries, and once libzip's new file has appeared
    // beside the archive, that is while the archive is being written.
    const std::function<bool(int)> stopWhen[] = {
        [](int) { return true; }, [](int asked) { return asked > 5; },
        [&](int) { return leftovers().size() > 2; }};
    for (const auto& when : stopWhen) {
        PackOptions options;
        int asked = 0;
        options.stopRequested = [&] { return when(++asked); };
        try {
            PackIntoZip(dir / "out.zip", items, options);
            ADD_FAILURE() << "not stopped";
        } catch (const CopyStopped&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        EXPECT_TRUE(ReadFile(dir / "out.zip") == before);
        EXPECT_EQ(leftovers(), (std::set<std::string>{"in", "out.zip"}));
    }

    // Files may grow to 1 MB here: the 4 MB archive cannot be written.
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 1 << 20;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
        PackIntoZip(dir / "out.zip", items);
        ADD_FAILURE() << "the write did not fail";
    } catch (const ShellError& e) {
        EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(ReadFile(dir / "out.zip") == before);
    EXPECT_EQ(leftovers(), (std::set<std::string>{"in", "out.zip"}));
}

// A file rewritten while it is packed fails the archive instead of going in as a mix of old and
// new bytes (or with a wrong checksum). Data stored as it is is read twice, once to taste it and
// once to write it; a file too large to hold in memory is read once, while libzip writes it.
TEST(ZipPacker, AFileThatChangesWhileBeingPackedFailsTheArchive) {
    struct Case {
        const char* what;
        std::string before, after;
        uint64_t inMemoryLimit;
        int changeAt; // the stop question at which the file is rewritten
    };
    PackOptions defaults;
    const Case cases[] = {
        // Asked once for the entry and once more just before the archive is written.
        {"stored, read again", RandomBytes(300000, 9), RandomBytes(300000, 10), defaults.inMemoryLimit, 2},
        // Asked before every block libzip reads: rewritten (same size) after the first blocks.
        {"streamed", SourceText(3000000, 11), SourceText(3000000, 12), 1000, 5},
        {"streamed, grown", SourceText(3000000, 11), SourceText(3500000, 12), 1000, 5},
    };
    for (const Case& c : cases) {
        TempDir dir("packer-changed");
        WriteFile(dir / "big.bin", c.before);
        WriteFile(dir / "out.zip", "");
        PackOptions options;
        options.inMemoryLimit = c.inMemoryLimit;
        int asked = 0;
        options.stopRequested = [&] {
            if (++asked == c.changeAt) WriteFile(dir / "big.bin", c.after);
            return false;
        };
        try {
            PackIntoZip(dir / "out.zip", {{dir / "big.bin", "big.bin"}}, options);
            ADD_FAILURE() << c.what << ": the change went unnoticed";
        } catch (const ShellError& e) {
            EXPECT_NE(std::string(e.what()).find("big.bin\" changed while it was being packed"), std::string::npos)
                << c.what << ": " << e.what();
        }
        EXPECT_GE(asked, c.changeAt) << c.what;
        EXPECT_EQ(ReadFile(dir / "out.zip").size(), 0u) << c.what; // as it was
    }
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
    EXPECT_EQ(pipeline.Take(6).error, "No such file or directory");
}

} // namespace
} // namespace zandrel::shell
