#include "platform/registry/RegFileFormat.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "platform/registry/Errors.h"
#include "platform/rtl/Utf16.h"

namespace zandrel::registry {
namespace {

constexpr std::string_view kRootName = "HKEY_CURRENT_USER";
constexpr std::string_view kRootShortName = "HKCU";
constexpr size_t kMaxLineWidth = 80; // hex data wraps as regedit wraps it, within 80 columns

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()))) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && rtl::SameTextAscii(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Turns the file's bytes into UTF-8 text without a BOM.
std::string DecodeFileBytes(std::string_view bytes, const std::string& fileName) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        if (bytes.size() % 2 != 0) throw FormatError(fileName, 1, "UTF-16 file with an odd number of bytes");
        std::u16string units;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return rtl::ToUtf8(units);
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
        throw FormatError(fileName, 1, "UTF-16 big-endian files are not supported");
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

class Parser {
public:
    Parser(std::string_view text, const std::string& fileName) : fileName_(fileName) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }

    Hive Run() {
        Hive hive;
        bool headerSeen = false;
        Key* key = nullptr;
        for (index_ = 0; index_ < lines_.size(); ++index_) {
            const std::string_view raw = lines_[index_];
            if (!IsUtf8(raw)) Fail("not valid UTF-8 text");
            const std::string_view line = Trim(raw);
            if (line.empty() || line.front() == ';') continue;
            if (!headerSeen) {
                if (line != kRegFileHeader)
                    Fail("expected the header \"" + std::string(kRegFileHeader) + "\"");
                headerSeen = true;
                continue;
            }
            if (line.front() == '[') {
                key = &hive.AddKey(ParseKeyLine(line));
            } else if (line.front() == '"' || line.front() == '@') {
                if (key == nullptr) Fail("a value line before any [key] line");
                key->SetValue(ParseValue(line));
            } else {
                Fail("not a [key] line, a \"name\"=value line or a ; comment");
            }
        }
        return hive;
    }

private:
    [[noreturn]] void Fail(const std::string& problem) const { throw FormatError(fileName_, index_ + 1, problem); }

    std::string ParseKeyLine(std::string_view line) {
        if (line.back() != ']') Fail("key line without closing ']'");
        std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path.front() == '-') Fail("key deletion lines are not supported in the store");
        std::string_view rest;
        if (StartsWithNoCase(path, kRootName)) rest = path.substr(kRootName.size());
        else if (StartsWithNoCase(path, kRootShortName)) rest = path.substr(kRootShortName.size());
        else Fail("only HKEY_CURRENT_USER keys can be kept in the store");
        if (!rest.empty() && rest.front() != '\\') Fail("only HKEY_CURRENT_USER keys can be kept in the store");
        if (rest.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos)
            Fail("a key path cannot hold a carriage return or NUL character");
        return NormalizeKeyPath(rest);
    }

    // A quoted text starting at s[pos] == '"'; only \\ and \" are escapes. Leaves pos past the quote.
    std::string ParseQuoted(std::string_view s, size_t& pos) {
        std::string out;
        ++pos;
        while (true) {
            if (pos >= s.size()) Fail("missing closing quote");
            const char c = s[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c == '\\') {
                if (pos + 1 >= s.size() || (s[pos + 1] != '\\' && s[pos + 1] != '"'))
                    Fail("a backslash in quotes must be followed by \\ or \"");
                out += s[pos + 1];
                pos += 2;
                continue;
            }
            out += c;
            ++pos;
        }
    }

    Value ParseValue(std::string_view line) {
        Value value;
        value.line = index_ + 1;
        size_t pos = 0;
        if (line.front() == '@') pos = 1;
        else value.name = ParseQuoted(line, pos);
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') Fail("expected '=' after the value name");
        ++pos;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        const std::string_view data = line.substr(pos);

        if (!data.empty() && data.front() == '"') {
            size_t p = 0;
            const std::string text = ParseQuoted(data, p);
            if (!Trim(data.substr(p)).empty()) Fail("unexpected text after the closing quote");
            value.type = REG_SZ;
            value.data = EncodeString(text);
        } else if (data == "-") {
            Fail("value deletion lines are not supported in the store");
        } else if (StartsWithNoCase(data, "dword:")) {
            const std::string_view digits = data.substr(6);
            if (digits.empty() || digits.size() > 8) Fail("dword: needs 1 to 8 hexadecimal digits");
            uint32_t number = 0;
            for (char c : digits) {
                const int d = HexDigit(c);
                if (d < 0) Fail("dword: needs 1 to 8 hexadecimal digits");
                number = (number << 4) | static_cast<uint32_t>(d);
            }
            value.type = REG_DWORD;
            value.data = EncodeDWord(number);
        } else if (StartsWithNoCase(data, "hex")) {
            ParseHex(data.substr(3), value);
        } else {
            Fail("the data after '=' must be \"text\", dword:, hex: or hex(N):");
        }
        return value;
    }

    // `typeAndBytes` follows "hex": ":" or "(N):", then bytes, possibly continued on following lines.
    void ParseHex(std::string_view typeAndBytes, Value& value) {
        value.type = REG_BINARY;
        size_t pos = 0;
        if (!typeAndBytes.empty() && typeAndBytes.front() == '(') {
            const size_t close = typeAndBytes.find(')');
            if (close == std::string_view::npos || close == 1 || close > 9) Fail("malformed hex(N) type");
            uint32_t type = 0;
            for (char c : typeAndBytes.substr(1, close - 1)) {
                const int d = HexDigit(c);
                if (d < 0) Fail("malformed hex(N) type");
                type = (type << 4) | static_cast<uint32_t>(d);
            }
            value.type = type;
            pos = close + 1;
        }
        if (pos >= typeAndBytes.size() || typeAndBytes[pos] != ':') Fail("expected ':' after hex");
        std::string list(typeAndBytes.substr(pos + 1));
        const size_t firstLine = index_;
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (index_ + 1 >= lines_.size()) Fail("continued hex data at the end of the file");
            ++index_;
            if (!IsUtf8(lines_[index_])) Fail("not valid UTF-8 text");
            list += Trim(lines_[index_]);
        }
        value.data = ParseByteList(list, firstLine);
    }

    std::string ParseByteList(std::string_view list, size_t firstLine) {
        std::string bytes;
        list = Trim(list);
        if (list.empty()) return bytes;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(',', start);
            if (end == std::string_view::npos) end = list.size();
            const std::string_view token = Trim(list.substr(start, end - start));
            const bool trailingComma = token.empty() && end == list.size() && start > 0;
            if (!trailingComma) {
                if (token.empty() || token.size() > 2 || HexDigit(token[0]) < 0 ||
                    (token.size() == 2 && HexDigit(token[1]) < 0)) {
                    index_ = firstLine;
                    Fail("malformed hex byte '" + std::string(token) + "'");
                }
                int byte = HexDigit(token[0]);
                if (token.size() == 2) byte = byte * 16 + HexDigit(token[1]);
                bytes += static_cast<char>(byte);
            }
            start = end + 1;
        }
        return bytes;
    }

    const std::string& fileName_;
    std::vector<std::string_view> lines_;
    size_t index_ = 0;
};

// The string's text when the quoted form carries it exactly: a single terminator at the end, no
// other NUL, no control characters (C0, DEL, C1), no unpaired surrogates.
std::optional<std::string> QuotableText(const Value& value) {
    if (value.data.size() < 2 || value.data.size() % 2 != 0) return std::nullopt;
    if (value.data[value.data.size() - 2] != '\0' || value.data.back() != '\0') return std::nullopt;
    const std::u16string units = DecodeUtf16(value.data);
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) return std::nullopt;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return rtl::ToUtf8(units);
}

std::string HexTypeTag(uint32_t type) {
    if (type == REG_BINARY) return "hex:";
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", type);
    return buf;
}

void AppendHexValue(std::string& out, const std::string& head, const std::string& data) {
    std::string line = head;
    for (size_t i = 0; i < data.size(); ++i) {
        char token[4];
        std::snprintf(token, sizeof token, "%02x", static_cast<unsigned char>(data[i]));
        std::string piece = token;
        if (i + 1 < data.size()) piece += ',';
        // Leave room for the continuation backslash.
        if (line.size() + piece.size() + 1 > kMaxLineWidth && line != "  ") {
            out += line;
            out += "\\\n";
            line = "  ";
        }
        line += piece;
    }
    out += line;
    out += '\n';
}

void AppendValue(std::string& out, const Value& value) {
    const std::string head = (value.name.empty() ? std::string("@") : Quote(value.name)) + "=";
    if (value.type == REG_SZ) {
        if (auto text = QuotableText(value)) {
            out += head + Quote(*text) + '\n';
            return;
        }
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", number);
        out += head + buf + '\n';
        return;
    }
    AppendHexValue(out, head + HexTypeTag(value.type), value.data);
}

} // namespace

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

Hive ParseRegFile(std::string_view bytes, const std::string& fileName) {
    const std::string text = DecodeFileBytes(bytes, fileName);
    return Parser(text, fileName).Run();
}

std::string FormatRegFile(const Hive& hive) {
    std::string out(kRegFileHeader);
    out += "\n\n";
    for (const Key& key : hive.keys) {
        out += '[';
        out += kRootName;
        if (!key.path.empty()) out += '\\' + key.path;
        out += "]\n";
        for (const Value& value : key.values) AppendValue(out, value);
        out += '\n';
    }
    return out;
}

} // namespace zandrel::registry
