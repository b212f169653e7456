#pragma once
// The user hive in memory: keys in the order they were first created, each with its values in the
// order they were first written. Data is kept as the registry keeps it, raw bytes tagged with a
// type number, so values of types the program never reads (binary, multi-string, ...) written
// into the file by hand survive every rewrite unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::registry {

// Type numbers as the registry assigns them.
enum ValueType : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

// "REG_SZ", "REG_DWORD", ...; "type N" for numbers without a name.
std::string TypeName(uint32_t type);

struct Value {
    std::string name; // as first written; "" is the key's default value
    uint32_t type = REG_NONE;
    std::string data; // raw bytes: UTF-16LE with terminator for strings, little-endian for DWORDs
    size_t line = 0;  // where the file last defined it, for messages; 0 when it was not read from a file
};

struct Key {
    std::string path; // below the root, components joined by "\"; "" is the root itself
    std::vector<Value> values;

    Value* FindValue(std::string_view name);
    const Value* FindValue(std::string_view name) const;
    // Replaces the data and type of a value of the same name (any letter case), keeping its stored
    // name and place; otherwise appends it. True when anything changed.
    bool SetValue(Value value);
    bool RemoveValue(std::string_view name);
};

struct Hive {
    std::vector<Key> keys; // only keys that were created or listed explicitly

    Key* FindKey(std::string_view path);
    const Key* FindKey(std::string_view path) const;
    // The key itself, or an ancestor of a listed key, exists.
    bool KeyExists(std::string_view path) const;
    // Finds the key or appends an empty one.
    Key& AddKey(std::string_view path);
};

// Splits `path` at "\", drops empty components and joins the rest with single "\". Throws
// registry::Error for a component holding CR, LF or NUL, or for text that is not UTF-8.
std::string NormalizeKeyPath(std::string_view path);
// Throws registry::Error for a value name the store's file cannot carry (CR, LF, NUL, not UTF-8).
void CheckValueName(std::string_view name);
// True when the bytes are well-formed UTF-8.
bool IsUtf8(std::string_view text);

// Raw-data conversions. Strings are stored as UTF-16LE followed by one U+0000 terminator.
std::string EncodeString(std::string_view utf8);
std::u16string DecodeUtf16(std::string_view bytes); // strips one terminator; an odd last byte is dropped
std::string EncodeDWord(uint32_t number);

} // namespace zandrel::registry
