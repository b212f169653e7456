#pragma once
// The runtime's registry class as the system's code uses it: pick the root, open a key (creating
// it when asked), then test, read and write typed values one by one. Every call goes to the store's
// file (see HiveFile): reads see what was last saved by any process, and each write is saved at
// once, atomically, under the writers' lock.
//
// Value names are matched without regard to ASCII letter case; a value keeps the case it was first
// written with. Strings are UTF-8 and may hold U+0000: their length is kept exactly.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Errors.h"
#include "platform/registry/Hive.h"
#include "platform/registry/HiveFile.h"

namespace zandrel::registry {

enum HKEY : uint32_t {
    HKEY_CURRENT_USER = 0x80000001u, // the only root the store keeps
};

class TRegistry {
public:
    // Root HKEY_CURRENT_USER, no key open; the store is UserHivePath() at the time of creation.
    TRegistry();
    // A store kept in another file (tools and tests).
    explicit TRegistry(std::string hivePath);
    ~TRegistry();

    HKEY RootKey() const { return HKEY_CURRENT_USER; }
    // Only HKEY_CURRENT_USER is accepted (registry::Error otherwise); closes the open key.
    void SetRootKey(HKEY root);

    // A path starting with "\" is taken from the root, otherwise from the open key (from the root
    // when none is open). With canCreate the key is created when missing, and is then listed in the
    // file even while it holds no values; where the store cannot be written the key is opened all
    // the same and reads as empty, and the first write reports why it cannot be saved. False (and
    // the open key unchanged) when the key does not exist and canCreate is false. Throws
    // FormatError for a damaged file.
    bool OpenKey(std::string_view key, bool canCreate);
    bool KeyExists(std::string_view key) const;
    void CloseKey();
    // The open key's path below the root ("" for the root itself, which is where values go while
    // no key is open).
    const std::string& CurrentPath() const { return currentPath_; }

    bool ValueExists(std::string_view name) const;
    // Throws ValueNotFoundError when the value is missing.
    ValueType GetDataType(std::string_view name) const;
    // In the order the values were first written.
    std::vector<std::string> GetValueNames() const;

    // REG_SZ or REG_EXPAND_SZ. Throws ValueNotFoundError, or TypeError naming the file, the line
    // and how to write the value.
    std::string ReadString(std::string_view name) const;
    // REG_DWORD of 4 bytes. Throws ValueNotFoundError or TypeError.
    int32_t ReadInteger(std::string_view name) const;
    // REG_DWORD; any non-zero number is true.
    bool ReadBool(std::string_view name) const;

    // Throws registry::Error for text that is not well-formed UTF-8 (nothing is written), and
    // WriteError when the change cannot be saved (the file is then as it was).
    void WriteString(std::string_view name, std::string_view value);
    void WriteInteger(std::string_view name, int32_t value);
    void WriteBool(std::string_view name, bool value); // 1 or 0
    // True when the value existed.
    bool DeleteValue(std::string_view name);

private:
    std::string Resolve(std::string_view key) const;
    // The value, checked to have the type `wanted` (REG_SZ also takes REG_EXPAND_SZ; REG_NONE
    // takes any type).
    Value Fetch(std::string_view name, uint32_t wanted) const;
    void Store(Value value);

    HiveFile file_;
    std::string currentPath_;
};

} // namespace zandrel::registry
