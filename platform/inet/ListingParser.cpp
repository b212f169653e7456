#include "platform/inet/ListingParser.h"

#include "platform/rtl/Wildcard.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string>

#include "platform/rtl/Utf16.h"

namespace zandrel::inet::detail {
namespace {

// Only the line end goes: a blank at the end of a line belongs to the name.
std::string_view TrimLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

template <class T>
bool ParseNumber(std::string_view text, T& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

void SetSize(WIN32_FIND_DATA& entry, uint64_t size) {
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(size);
}

bool SetTime(WIN32_FIND_DATA& entry, int year, int month, int day, int hour, int minute, int second,
             int millisecond) {
    rtl::FILETIME ft;
    if (!rtl::SystemTimeToFileTime(rtl::MakeSystemTime(year, month, day, hour, minute, second, millisecond), ft))
        return false;
    entry.ftLastWriteTime = ft;
    return true;
}

struct Token {
    std::string_view text;
    size_t end; // offset just past the token in the line
};

std::vector<Token> Tokens(std::string_view line, size_t maxCount) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < line.size() && tokens.size() < maxCount) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) tokens.push_back({line.substr(start, i - start), i});
    }
    return tokens;
}

int MonthNumber(std::string_view token) {
    static constexpr std::array<std::string_view, 12> names = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() != 3) return 0;
    std::string lower;
    for (char c : token) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t i = 0; i < names.size(); ++i)
        if (lower == names[i]) return static_cast<int>(i) + 1;
    return 0;
}

bool ParseClock(std::string_view text, int& hour, int& minute) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    return ParseNumber(text.substr(0, colon), hour) && ParseNumber(text.substr(colon + 1), minute) &&
           hour < 24 && minute < 60;
}

// "-rw-r--r--   1 owner group  1234 Jan 02 12:34 name" or "... Jan 02  2020 name".
std::optional<WIN32_FIND_DATA> ParseUnixLine(std::string_view line, const rtl::SYSTEMTIME& now) {
    // Devices, pipes and sockets ('b', 'c', 'p', 's') are not files to fetch; they are left out.
    if (line.empty() || std::string_view("-dl").find(line[0]) == std::string_view::npos) return std::nullopt;
    const std::vector<Token> tokens = Tokens(line, 12);
    for (size_t m = 2; m + 2 < tokens.size(); ++m) {
        const int month = MonthNumber(tokens[m].text);
        int day = 0;
        uint64_t size = 0;
        if (!month || !ParseNumber(tokens[m + 1].text, day) || day < 1 || day > 31 ||
            !ParseNumber(tokens[m - 1].text, size))
            continue;
        int year = 0, hour = 0, minute = 0;
        const std::string_view when = tokens[m + 2].text;
        if (ParseClock(when, hour, minute)) {
            // No year shown: the file is from the last half year, so this year unless that puts
            // it more than a day into the future.
            year = now.wYear;
            WIN32_FIND_DATA probe;
            rtl::FILETIME nowFt;
            constexpr uint64_t kDay = 24ull * 3600 * 10000000;
            if (rtl::SystemTimeToFileTime(now, nowFt) &&
                (!SetTime(probe, year, month, day, hour, minute, 0, 0) ||
                 probe.ftLastWriteTime.Ticks() > nowFt.Ticks() + kDay))
                --year;
        } else if (!ParseNumber(when, year) || year < 1601) {
            continue;
        }
        const size_t nameStart = tokens[m + 2].end + 1;
        if (nameStart >= line.size()) return std::nullopt;
        WIN32_FIND_DATA entry;
        entry.cFileName = std::string(line.substr(nameStart));
        if (line[0] == 'l') {
            entry.isLink = true;
            const size_t arrow = entry.cFileName.find(" -> ");
            if (arrow != std::string::npos) entry.cFileName.resize(arrow);
            if (entry.cFileName.empty()) return std::nullopt;
        }
        entry.dwFileAttributes = line[0] == 'd' ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        SetSize(entry, size);
        if (!SetTime(entry, year, month, day, hour, minute, 0, 0)) return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

// "01-15-24  03:45PM       <DIR>          name" or "01-15-2024  03:45PM  1234 name".
std::optional<WIN32_FIND_DATA> ParseDosLine(std::string_view line) {
    const std::vector<Token> tokens = Tokens(line, 3);
    if (tokens.size() < 3) return std::nullopt;
    const std::string_view date = tokens[0].text;
    if (date.size() < 8 || date[2] != '-' || date[5] != '-') return std::nullopt;
    int month = 0, day = 0, year = 0;
    if (!ParseNumber(date.substr(0, 2), month) || !ParseNumber(date.substr(3, 2), day) ||
        !ParseNumber(date.substr(6), year))
        return std::nullopt;
    if (date.size() == 8) year += year < 70 ? 2000 : 1900;
    std::string_view clock = tokens[1].text;
    int hour = 0, minute = 0;
    bool pm = false, am = false;
    if (clock.size() > 2) {
        const std::string_view suffix = clock.substr(clock.size() - 2);
        pm = suffix == "PM" || suffix == "pm";
        am = suffix == "AM" || suffix == "am";
        if (pm || am) clock.remove_suffix(2);
    }
    if (!ParseClock(clock, hour, minute)) return std::nullopt;
    if (pm || am) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    WIN32_FIND_DATA entry;
    const std::string_view kind = tokens[2].text;
    if (kind == "<DIR>") {
        entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        uint64_t size = 0;
        if (!ParseNumber(kind, size)) return std::nullopt;
        SetSize(entry, size);
        entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    size_t nameStart = tokens[2].end;
    while (nameStart < line.size() && line[nameStart] == ' ') ++nameStart;
    if (nameStart >= line.size()) return std::nullopt;
    entry.cFileName = std::string(line.substr(nameStart));
    if (!SetTime(entry, year, month, day, hour, minute, 0, 0)) return std::nullopt;
    return entry;
}

} // namespace

std::optional<WIN32_FIND_DATA> ParseMlsdLine(std::string_view line) {
    line = TrimLineEnd(line);
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 >= line.size()) return std::nullopt;
    WIN32_FIND_DATA entry;
    entry.cFileName = std::string(line.substr(space + 1));
    entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    std::string_view facts = line.substr(0, space);
    while (!facts.empty()) {
        const size_t semicolon = facts.find(';');
        const std::string_view fact = facts.substr(0, semicolon);
        facts = semicolon == std::string_view::npos ? std::string_view() : facts.substr(semicolon + 1);
        const size_t equals = fact.find('=');
        if (equals == std::string_view::npos) continue;
        std::string key;
        for (char c : fact.substr(0, equals)) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value;
        for (char c : fact.substr(equals + 1)) value += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (key == "type") {
            // file, dir, and links as some servers show them; anything else (cdir, pdir,
            // OS.unix=chr-..., OS.unix=blk-..., fifo, socket) is not an entry to report.
            if (value == "dir")
                entry.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
            else if (value.rfind("os.unix=slink", 0) == 0 || value.rfind("os.unix=symlink", 0) == 0)
                entry.isLink = true;
            else if (value != "file")
                return std::nullopt;
        } else if (key == "size" || key == "sizd") {
            uint64_t size = 0;
            if (ParseNumber(std::string_view(value), size)) SetSize(entry, size);
        } else if (key == "modify" && value.size() >= 14 && AllDigits(std::string_view(value).substr(0, 14))) {
            const std::string_view v = value;
            int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
            ParseNumber(v.substr(0, 4), y);
            ParseNumber(v.substr(4, 2), mo);
            ParseNumber(v.substr(6, 2), d);
            ParseNumber(v.substr(8, 2), h);
            ParseNumber(v.substr(10, 2), mi);
            ParseNumber(v.substr(12, 2), s);
            if (v.size() > 15 && v[14] == '.') {
                // Fractions of any length; milliseconds are what the record holds.
                std::string fraction(v.substr(15, 3));
                while (fraction.size() < 3) fraction += '0';
                if (!AllDigits(fraction) || !ParseNumber(std::string_view(fraction), ms)) ms = 0;
            }
            entry.exactTime = SetTime(entry, y, mo, d, h, mi, s, ms);
        }
    }
    return entry;
}

std::optional<WIN32_FIND_DATA> ParseListLine(std::string_view line, const rtl::SYSTEMTIME& nowUtc) {
    line = TrimLineEnd(line);
    if (line.empty()) return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(line[0]))) return ParseDosLine(line);
    return ParseUnixLine(line, nowUtc);
}

std::vector<WIN32_FIND_DATA> ParseListing(std::string_view text, bool mlsd, const rtl::SYSTEMTIME& nowUtc) {
    std::vector<WIN32_FIND_DATA> entries;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        auto entry = mlsd ? ParseMlsdLine(line) : ParseListLine(line, nowUtc);
        if (entry) entries.push_back(std::move(*entry));
    }
    return entries;
}

bool MatchesFtpMask(std::string_view nameUtf8, std::string_view maskUtf8) {
    if (maskUtf8.empty()) return true;
    return rtl::MatchesMask(nameUtf8, maskUtf8, rtl::LetterCase::Match);
}

} // namespace zandrel::inet::detail
