#include "tools/webcopy/ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/ui/terminal/TerminalText.h"

namespace zandrel::tools {
namespace {

// `value` (at least 1024) in the largest binary unit that keeps it at or above 1, one decimal.
// The unit is chosen after rounding, so that 1048575 bytes read "1.0 MiB", never "1024.0 KiB".
std::string Scaled(double value, const char* suffix) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    size_t unit = 0;
    value /= 1024;
    while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s%s", value, kUnits[unit], suffix);
    return text;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The byte offset where the character numbered `column` begins.
size_t ByteAt(const std::string& text, size_t column) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsContinuationByte(text[i])) continue;
        if (seen++ == column) return i;
    }
    return text.size();
}

// `name` in `columns` columns at most, its middle given up for an ellipsis. The end keeps the
// extension ("....tar.gz") and a little before it, since that is what tells files apart.
std::string ShortName(const std::string& name, size_t columns) {
    const size_t have = ui::DisplayColumns(name);
    if (have <= columns) return name;
    if (columns < 8) return ui::ShortenInTheMiddle(name, columns);
    const size_t keep = columns - 1;
    // The extension: from the first dot among the last ten characters.
    const size_t from = ByteAt(name, have > 10 ? have - 10 : 0);
    const size_t dot = name.find('.', from);
    const size_t extension = dot == std::string::npos || dot == 0 ? 0 : ui::DisplayColumns(name.substr(dot));
    const size_t tail = std::max(keep / 2, std::min(extension + 3, keep - 4));
    return name.substr(0, ByteAt(name, keep - tail)) + "\u2026" + name.substr(ByteAt(name, have - tail));
}

} // namespace

std::string Bytes(uint64_t n) {
    if (n < 1024) return std::to_string(n) + " B";
    return Scaled(static_cast<double>(n), "");
}

std::string Rate(double bytesPerSecond) {
    if (!(bytesPerSecond >= 0)) bytesPerSecond = 0;
    if (bytesPerSecond < 1023.5) return std::to_string(std::llround(bytesPerSecond)) + " B/s";
    return Scaled(bytesPerSecond, "/s");
}

std::string Clock(double seconds) {
    // A stalled transfer would promise years; beyond 100 hours the figure says nothing.
    if (!(seconds >= 0) || seconds >= 360000) return "--:--";
    const long long s = std::llround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::string Took(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    if (seconds >= 59.95) return Clock(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string ProgressLine(const ProgressFigures& figures, size_t width) {
    const bool knownTotal = figures.total > 0;
    const bool knownRate = figures.bytesPerSecond >= 0;
    std::string percent;
    if (knownTotal) {
        const uint64_t done = std::min(figures.done, figures.total);
        // Whole percents, rounded down: 100% only once the last byte is there.
        const auto whole = static_cast<unsigned>(static_cast<double>(done) * 100 / static_cast<double>(figures.total));
        percent = std::to_string(done == figures.total ? 100u : std::min(whole, 99u)) + "%";
    }
    // Nothing moved and nothing announced: the item is still connecting, or moves no data at all.
    const bool idle = !knownTotal && !knownRate && figures.done == 0;
    const std::string sizes = knownTotal ? Bytes(figures.done) + " of " + Bytes(figures.total)
                              : idle     ? ""
                                         : Bytes(figures.done);
    const std::string rate = knownRate ? Rate(figures.bytesPerSecond) : "";
    std::string left;
    if (knownTotal && knownRate) {
        const uint64_t remaining = figures.total - std::min(figures.done, figures.total);
        left = remaining == 0 ? "0:00 left"
               : figures.bytesPerSecond > 0
                   ? Clock(static_cast<double>(remaining) / figures.bytesPerSecond) + " left"
                   : "--:-- left";
    }
    const std::string counter =
        figures.items > 1 ? "[" + std::to_string(figures.item) + "/" + std::to_string(figures.items) + "] " : "";

    // In the order shown; dropped from the narrowest lines in the order of `dropOrder`. Which
    // fields fit, and how much room the name gets, is decided on each field's usual widest form
    // ("999.9 MiB of 999.9 MiB", "999.9 KiB/s", "59:59 left"), not on the figures of the moment:
    // otherwise the name would change length, and fields come and go, as the digits change.
    struct Field {
        std::string text;
        size_t reserve;
        int dropOrder;
        bool kept;
    };
    std::vector<Field> fields{{sizes, knownTotal ? 22u : 9u, 2, true},
                              {percent, 4, 5, true},
                              {rate, 11, 1, true},
                              {left, 10, 3, true}};
    bool keepCounter = !counter.empty();
    const std::string name = figures.name;
    constexpr size_t kShortestName = 16, kShortestNameBesideCounter = 24;
    const size_t nameColumns = ui::DisplayColumns(name);

    for (int dropped = 0;; ++dropped) {
        std::string right;
        size_t reserved = 0;
        for (const Field& field : fields) {
            if (!field.kept || field.text.empty()) continue;
            if (!right.empty()) {
                right += "  ";
                reserved += 2;
            }
            right += field.text;
            reserved += std::max(field.reserve, ui::DisplayColumns(field.text));
        }
        const std::string prefix = keepCounter ? counter : "";
        const std::string separator = !name.empty() && !right.empty() ? "  " : "";
        if (width == 0) return prefix + name + separator + right;
        const size_t fixed = ui::DisplayColumns(prefix) + ui::DisplayColumns(separator) + reserved;
        // The counter stays only while the name keeps a good part of itself.
        const size_t shortest = keepCounter ? kShortestNameBesideCounter : kShortestName;
        if (fixed + std::min(nameColumns, shortest) <= width)
            return prefix + ShortName(name, width - fixed) + separator + right;
        // Nothing left to give up but the percent: the name takes whatever room remains.
        if (dropped >= 4) {
            const size_t actual = ui::DisplayColumns(separator) + ui::DisplayColumns(right);
            if (actual < width) return ShortName(name, width - actual) + separator + right;
            return ui::ShortenInTheMiddle(right.empty() ? name : right, width);
        }
        if (dropped == 0 && keepCounter) {
            keepCounter = false;
            continue;
        }
        for (Field& field : fields)
            if (field.dropOrder == dropped) field.kept = false;
    }
}

} // namespace zandrel::tools
