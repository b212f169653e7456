#include "platform/registry/Hive.h"

#include "platform/registry/Errors.h"
#include "platform/rtl/Utf16.h"

namespace zandrel::registry {
namespace {

bool HasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

// `path` is `ancestor` or lies below it (letter case ignored).
bool IsAtOrBelow(std::string_view path, std::string_view ancestor) {
    if (ancestor.empty()) return true;
    if (path.size() < ancestor.size()) return false;
    if (!rtl::SameTextAscii(path.substr(0, ancestor.size()), ancestor)) return false;
    return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

} // namespace

std::string TypeName(uint32_t type) {
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
    }
}

Value* Key::FindValue(std::string_view name) {
    for (auto& v : values)
        if (rtl::SameTextAscii(v.name, name)) return &v;
    return nullptr;
}

const Value* Key::FindValue(std::string_view name) const { return const_cast<Key*>(this)->FindValue(name); }

bool Key::SetValue(Value value) {
    if (Value* existing = FindValue(value.name)) {
        existing->line = value.line;
        if (existing->type == value.type && existing->data == value.data) return false;
        existing->type = value.type;
        existing->data = std::move(value.data);
        return true;
    }
    values.push_back(std::move(value));
    return true;
}

bool Key::RemoveValue(std::string_view name) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (rtl::SameTextAscii(it->name, name)) {
            values.erase(it);
            return true;
        }
    return false;
}

Key* Hive::FindKey(std::string_view path) {
    for (auto& k : keys)
        if (rtl::SameTextAscii(k.path, path)) return &k;
    return nullptr;
}

const Key* Hive::FindKey(std::string_view path) const { return const_cast<Hive*>(this)->FindKey(path); }

bool Hive::KeyExists(std::string_view path) const {
    for (const auto& k : keys)
        if (IsAtOrBelow(k.path, path)) return true;
    return path.empty(); // the root always exists
}

Key& Hive::AddKey(std::string_view path) {
    if (Key* k = FindKey(path)) return *k;
    keys.push_back(Key{std::string(path), {}});
    return keys.back();
}

bool IsUtf8(std::string_view text) { return rtl::ToUtf8(rtl::ToUtf16(text)) == text; }

std::string NormalizeKeyPath(std::string_view path) {
    if (HasLineBreakOrNul(path) || !IsUtf8(path))
        throw Error("Registry key path cannot hold line breaks, NUL or malformed UTF-8: '" + std::string(path) + "'");
    std::string out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out += path.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

void CheckValueName(std::string_view name) {
    if (HasLineBreakOrNul(name) || !IsUtf8(name))
        throw Error("Registry value name cannot hold line breaks, NUL or malformed UTF-8: '" + std::string(name) + "'");
}

std::string EncodeString(std::string_view utf8) {
    std::u16string units = rtl::ToUtf16(utf8);
    units.push_back(u'\0');
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

std::u16string DecodeUtf16(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    if (!units.empty() && units.back() == u'\0') units.pop_back();
    return units;
}

std::string EncodeDWord(uint32_t number) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return bytes;
}

} // namespace zandrel::registry
