#include "webcopy/StreamingValues.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace zandrel::webcopy {
namespace {

using Json = nlohmann::ordered_json;

constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as a date-time
constexpr int64_t kSecondsPerDay = 86'400;

// Length of the valid UTF-8 sequence at text[at], or 0 when none starts there (overlong forms,
// surrogates and code points above U+10FFFF are not valid, as JSON writers agree).
size_t Utf8SequenceAt(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;
    else if (lead == 0xED) length = 3, high = 0x9F;
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead == 0xF4) length = 4, high = 0x8F;
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else return 0;
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

// `text` with every byte outside valid UTF-8 replaced by `replace(byte)`.
template <class Replace>
std::string MendUtf8(const std::string& text, Replace replace) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceAt(text, at);
        if (length == 0) {
            out += replace(static_cast<unsigned char>(text[at]));
            ++at;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Seconds from 1970-01-01 to the given civil time read as UTC.
bool CivilToUnix(int year, int month, int day, int hour, int minute, int second, int64_t& seconds) {
    rtl::TDateTime date = 0;
    if (!rtl::TryEncodeDate(year, month, day, date)) return false;
    seconds = static_cast<int64_t>(date - kUnixEpochDays) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    return true;
}

// ---- parsing with paths ---------------------------------------------------------------------------

constexpr size_t kMaxDepth = 64;

// Builds the document like nlohmann's own parser, but knows at every moment the path of the
// value being read, so that a refusal can name the property.
class PathTrackingBuilder {
public:
    Json root;

    bool null() { return Put(nullptr); }
    bool boolean(bool value) { return Put(value); }
    bool number_integer(Json::number_integer_t value) { return Put(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return Put(value); }
    bool number_float(Json::number_float_t value, const std::string&) { return Put(value); }
    bool string(std::string& value) { return Put(std::move(value)); }
    bool binary(Json::binary_t& value) { return Put(Json::binary(std::move(value))); }
    bool start_object(std::size_t) { return Open(Json::object()); }
    bool key(std::string& name) {
        frames_.back().key = std::move(name);
        return true;
    }
    bool end_object() { return Close(); }
    bool start_array(std::size_t) { return Open(Json::array()); }
    bool end_array() { return Close(); }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::json::exception& error) {
        // 406 is the parser's "number overflow": a number no type holds (1e400, 5000 digits).
        if (error.id == 406) Refuse(Path().empty() ? "(value)" : Path(), "number out of range");
        throw StreamingError("not valid JSON (at byte " + std::to_string(position) + "): " + WithoutEcho(error.what()));
    }

private:
    struct Frame {
        Json* container;
        std::string key; // of the member being read, in an object
    };

    // The parser's message quotes the token it was reading when it failed ("; last read: '...'"),
    // which may be a password cut short by a missing quote. Line, column and what was wrong are
    // enough to find the fault.
    static std::string WithoutEcho(std::string message) {
        if (const size_t echo = message.find("; last read: "); echo != std::string::npos) message.erase(echo);
        return message;
    }

    [[noreturn]] static void Refuse(const std::string& path, const std::string& problem) {
        throw StreamingError(path + ": " + problem);
    }

    std::string Path() const {
        std::string path;
        for (size_t i = 0; i < frames_.size(); ++i) {
            const Frame& frame = frames_[i];
            // An outer array's element being read is its last; the innermost's is not in it yet.
            const bool inner = i + 1 == frames_.size();
            if (frame.container->is_array())
                path += "[" + std::to_string(frame.container->size() - (inner ? 0 : 1)) + "]";
            else
                path += (path.empty() ? "" : ".") + frame.key;
        }
        return path;
    }

    Json* Put(Json value) {
        if (frames_.empty()) {
            root = std::move(value);
            return &root;
        }
        Frame& frame = frames_.back();
        if (frame.container->is_array()) {
            frame.container->push_back(std::move(value));
            return &frame.container->back();
        }
        Json& slot = (*frame.container)[frame.key];
        slot = std::move(value);
        return &slot;
    }
    bool Open(Json empty) {
        if (frames_.size() >= kMaxDepth) Refuse(Path(), "nested too deeply");
        Json* container = Put(std::move(empty));
        frames_.push_back({container, {}});
        return true;
    }
    bool Close() {
        frames_.pop_back();
        return true;
    }

    std::vector<Frame> frames_;
};

// Reads `count` digits at text[at] into `value`.
bool Digits(std::string_view text, size_t& at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceAt(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

Json TextToJson(const std::string& text) {
    if (IsValidUtf8(text)) return text;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(text.size() * 2);
    for (unsigned char c : text) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return Json{{"hex", hex}, {"text", MendUtf8(text, [](unsigned char) { return std::string("\uFFFD"); })}};
}

std::optional<std::string> JsonToText(const Json& value, const std::string& path) {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_object()) return std::nullopt;
    const auto hex = value.find("hex");
    if (hex == value.end() || !hex->is_string()) return std::nullopt;
    for (const auto& [name, member] : value.items())
        if (name != "hex" && name != "text") throw StreamingError(path + "." + name + ": unknown property");
    const auto& digits = hex->get_ref<const std::string&>();
    if (digits.size() % 2 != 0) throw StreamingError(path + ".hex: an odd number of hex digits");
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]), low = HexDigit(digits[i + 1]);
        if (high < 0 || low < 0) throw StreamingError(path + ".hex: not a hex digit");
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::string PrintableText(const std::string& text) {
    return MendUtf8(text, [](unsigned char c) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        return std::string(escaped);
    });
}

std::string DateTimeToIso(rtl::TDateTime value) {
    if (!(value >= kFirstDateTime && value < kEndDateTime)) return "";
    int year, month, day, hour, minute, second, ms;
    rtl::DecodeDateTime(value, year, month, day, hour, minute, second, ms);
    int64_t asIfUtc = 0;
    if (!CivilToUnix(year, month, day, hour, minute, second, asIfUtc)) return "";
    const int64_t offset = asIfUtc - rtl::LocalDateTimeToUnix(value);
    char text[48];
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
    if (ms != 0) n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%03d", ms);
    const int64_t magnitude = offset < 0 ? -offset : offset;
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%c%02d:%02d", offset < 0 ? '-' : '+',
                  static_cast<int>(magnitude / 3600), static_cast<int>(magnitude / 60 % 60));
    return text;
}

bool IsoToDateTime(std::string_view text, rtl::TDateTime& value) {
    size_t at = 0;
    int year, month, day, hour = 0, minute = 0, second = 0;
    double fraction = 0;
    if (!Digits(text, at, 4, year) || !Expect(text, at, '-') || !Digits(text, at, 2, month) ||
        !Expect(text, at, '-') || !Digits(text, at, 2, day))
        return false;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        ++at;
        if (!Digits(text, at, 2, hour) || !Expect(text, at, ':') || !Digits(text, at, 2, minute)) return false;
        if (Expect(text, at, ':')) {
            if (!Digits(text, at, 2, second)) return false;
            if (Expect(text, at, '.') || Expect(text, at, ',')) {
                double scale = 0.1;
                const size_t first = at;
                for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
                    fraction += (text[at] - '0') * scale;
                if (at == first) return false;
            }
        }
    }
    std::optional<int64_t> offset; // seconds east of UTC
    if (at < text.size()) {
        if (text[at] == 'Z' || text[at] == 'z') {
            offset = 0;
            ++at;
        } else if (text[at] == '+' || text[at] == '-') {
            const int sign = text[at++] == '-' ? -1 : 1;
            int hours = 0, minutes = 0;
            if (!Digits(text, at, 2, hours)) return false;
            if (Expect(text, at, ':')) {
                if (!Digits(text, at, 2, minutes)) return false;
            } else if (at < text.size() && !Digits(text, at, 2, minutes)) {
                return false;
            }
            if (hours > 23 || minutes > 59) return false;
            offset = sign * (hours * 3600 + minutes * 60);
        }
    }
    if (at != text.size()) return false;

    rtl::TDateTime date = 0, time = 0;
    if (!rtl::TryEncodeDate(year, month, day, date) || !rtl::TryEncodeTime(hour, minute, second, 0, time)) return false;
    const double ms = std::round(fraction * 1000.0);
    if (!offset) {
        value = rtl::ComposeDateTime(date, time + ms / 86'400'000.0);
    } else {
        int64_t utc = 0;
        CivilToUnix(year, month, day, hour, minute, second, utc);
        utc -= *offset;
        const rtl::TDateTime whole = rtl::UnixToLocalDateTime(utc);
        value = whole + (whole < 0 ? -ms : ms) / 86'400'000.0;
    }
    return value >= kFirstDateTime && value < kEndDateTime;
}

Json ParseJsonText(std::string_view text) {
    PathTrackingBuilder builder;
    Json::sax_parse(text.begin(), text.end(), &builder);
    return std::move(builder.root);
}

} // namespace zandrel::webcopy
