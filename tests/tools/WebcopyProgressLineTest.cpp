// webcopy's own figures: binary units, and a progress line that fits any width while keeping
// both ends of the name.
#include "tools/webcopy/ProgressLine.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::tools {
namespace {

TEST(WebcopyFigures, SizesRatesAndTimesReadOneWay) {
    struct Case {
        std::string got, want;
    };
    const std::vector<Case> cases{
        {Bytes(0), "0 B"},
        {Bytes(1023), "1023 B"},
        {Bytes(1024), "1.0 KiB"},
        {Bytes(1536), "1.5 KiB"},
        {Bytes(1048575), "1.0 MiB"}, // rounded up into the next unit, never "1024.0 KiB"
        {Bytes(100'000), "97.7 KiB"},
        {Bytes(5'000'000'000ULL), "4.7 GiB"}, // beyond 32 bits
        {Bytes(UINT64_MAX), "16.0 EiB"},
        {Rate(0), "0 B/s"},
        {Rate(-1), "0 B/s"},
        {Rate(1000.4), "1000 B/s"},
        {Rate(2.5 * 1024 * 1024), "2.5 MiB/s"},
        {Clock(0), "0:00"},
        {Clock(7), "0:07"},
        {Clock(754), "12:34"},
        {Clock(3723), "1:02:03"},
        {Clock(1e12), "--:--"}, // a stalled transfer promises nothing
        {Took(0.44), "0.4 s"},
        {Took(59.9), "59.9 s"},
        {Took(125), "2:05"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(WebcopyFigures, TheProgressLineAtEightyColumnsShowsEverything) {
    const ProgressFigures figures{"backup.tar.gz", 2, 5, 5 * 1048576ULL, 20 * 1048576ULL, 1048576.0};
    EXPECT_EQ(ProgressLine(figures, 80), "[2/5] backup.tar.gz  5.0 MiB of 20.0 MiB  25%  1.0 MiB/s  0:15 left");
    // Unknown total: no percent and no time left; unknown rate: neither rate nor time left.
    EXPECT_EQ(ProgressLine({"page.html", 1, 1, 3000, 0, 100.0}, 80), "page.html  2.9 KiB  100 B/s");
    EXPECT_EQ(ProgressLine({"page.html", 1, 1, 3000, 6000, -1}, 80), "page.html  2.9 KiB of 5.9 KiB  50%");
    // 100% only with the last byte; a stalled rate gives no time.
    EXPECT_EQ(ProgressLine({"a", 1, 1, 999, 1000, 0.0}, 0), "a  999 B of 1000 B  99%  0 B/s  --:-- left");
    EXPECT_EQ(ProgressLine({"a", 1, 1, 1000, 1000, 5.0}, 0), "a  1000 B of 1000 B  100%  5 B/s  0:00 left");
    EXPECT_EQ(ProgressLine({"a", 2, 3, 0, 0, -1}, 0), "[2/3] a"); // nothing moved yet
}

// Every width from the narrowest to the widest, for names short, long, multibyte and missing:
// the line never overflows, a name is never lost while there is any room, and it keeps its start
// and its extension.
TEST(WebcopyFigures, TheProgressLineFitsEveryWidthAndKeepsBothEndsOfTheName) {
    const std::vector<std::string> names{
        "a.zip",
        "release-candidate-2026-12-11-with-debug-symbols-and-sources-for-every-platform.tar.gz",
        "\xC3\xBC" "berlange-Datei-mit-Umlauten-\xC3\xA4\xC3\xB6\xC3\xBC-und-noch-viel-mehr-Text-\xC3\x9F.tar.gz",
        "",
    };
    const std::vector<ProgressFigures> figures{
        {"", 3, 12, 123'456'789, 5'000'000'000ULL, 2.5 * 1048576},
        {"", 1, 1, 4096, 0, -1},
    };
    for (const std::string& name : names) {
        for (ProgressFigures f : figures) {
            f.name = name;
            const std::string head = name.substr(0, 4), tail = name.size() > 6 ? name.substr(name.size() - 6) : name;
            for (size_t width = 1; width <= 200; ++width) {
                const std::string line = ProgressLine(f, width);
                SCOPED_TRACE("width " + std::to_string(width) + ", name \"" + name + "\": " + line);
                EXPECT_LE(ui::DisplayColumns(line), width);
                if (width >= 30 && !name.empty()) {
                    EXPECT_NE(line.find(head), std::string::npos);
                    EXPECT_NE(line.find(tail), std::string::npos);
                }
                if (width >= 30 && f.total > 0) {
                    EXPECT_NE(line.find("2%"), std::string::npos);
                }
                if (width >= 80) {
                    EXPECT_NE(line.find(f.total > 0 ? "117.7 MiB of 4.7 GiB" : "4.0 KiB"), std::string::npos);
                    if (f.bytesPerSecond >= 0) {
                        EXPECT_NE(line.find("2.5 MiB/s  31:0"), std::string::npos);
                    }
                }
            }
            // No limit: the whole name and every figure.
            if (!name.empty()) {
                EXPECT_EQ(ProgressLine(f, 0).find(name), f.items > 1 ? 7u : 0u);
            }
        }
    }
}

// As a transfer goes on, its digits change width ("9.9 KiB" to "10.0 KiB", "999 B/s" to
// "1.5 KiB/s"); the name must keep its length and the figures their set, or the line jumps.
TEST(WebcopyFigures, TheProgressLineKeepsItsShapeAsTheFiguresChange) {
    const std::string name = "release-candidate-2026-12-11-with-debug-symbols.tar.gz";
    const uint64_t total = 900 * 1048576ULL;
    for (size_t width : {40u, 50u, 60u, 79u, 100u}) {
        std::string shownName;
        size_t fields = 0;
        for (uint64_t done : std::vector<uint64_t>{0, 1000, 10000, 1000000, 99 * 1048576ULL, total}) {
            for (double rate : {900.0, 1500.0, 999.0 * 1024, 50.0 * 1048576}) {
                const std::string line = ProgressLine({name, 1, 1, done, total, rate}, width);
                const std::string head = line.substr(0, line.find("  "));
                const size_t count = static_cast<size_t>(std::count(line.begin(), line.end(), ' '));
                if (shownName.empty()) {
                    shownName = head;
                    fields = count;
                }
                EXPECT_EQ(head, shownName) << "width " << width << ": " << line;
                EXPECT_EQ(count, fields) << "width " << width << ": " << line;
            }
        }
    }
}

} // namespace
} // namespace zandrel::tools
