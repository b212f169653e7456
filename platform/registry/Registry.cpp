#include "platform/registry/Registry.h"

#include <cstdio>

#include "platform/registry/RegFileFormat.h"
#include "platform/rtl/Utf16.h"

namespace zandrel::registry {
namespace {

std::string KeyName(const std::string& path) {
    return "[HKEY_CURRENT_USER" + (path.empty() ? std::string() : "\\" + path) + "]";
}

std::string Describe(uint32_t type) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: return "text (" + TypeName(type) + ")";
    case REG_DWORD: return "a number (REG_DWORD)";
    case REG_BINARY: return "binary data (REG_BINARY)";
    default: return TypeName(type);
    }
}

// The line that would hold `value` with the type `wanted`: exact where the stored text is a
// plain decimal number that is to become a number, a pattern otherwise.
std::string LineToWrite(const Value& value, uint32_t wanted) {
    const std::string head = Quote(value.name) + "=";
    if (wanted != REG_DWORD) return head + "\"text\"";
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        const std::string text = rtl::ToUtf8(DecodeUtf16(value.data));
        uint64_t number = 0;
        bool plain = !text.empty() && text.size() <= 10;
        for (char c : text) {
            plain = plain && c >= '0' && c <= '9';
            if (plain) number = number * 10 + static_cast<uint64_t>(c - '0');
        }
        if (plain && number <= 0xFFFFFFFFu) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(number));
            return head + "dword:" + digits;
        }
    }
    return head + "dword:XXXXXXXX (the number in 8 hexadecimal digits)";
}

} // namespace

TRegistry::TRegistry() : TRegistry(UserHivePath()) {}

TRegistry::TRegistry(std::string hivePath) : file_(std::move(hivePath)) {}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY root) {
    if (root != HKEY_CURRENT_USER) throw Error("Only HKEY_CURRENT_USER is available in the user store");
    CloseKey();
}

std::string TRegistry::Resolve(std::string_view key) const {
    const std::string relative = NormalizeKeyPath(key);
    if ((!key.empty() && key.front() == '\\') || currentPath_.empty()) return relative;
    return relative.empty() ? currentPath_ : currentPath_ + "\\" + relative;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    const std::string path = Resolve(key);
    if (canCreate) {
        try {
            file_.Update([&](Hive& hive) {
                if (hive.FindKey(path) != nullptr) return false;
                hive.AddKey(path);
                return true;
            });
        } catch (const WriteError&) {
            // Where the key cannot be made (a read-only folder, a full disk) it reads as empty;
            // the first write to it creates it, and reports why when it cannot.
        }
    } else if (!file_.Load().KeyExists(path)) {
        return false;
    }
    currentPath_ = path;
    return true;
}

bool TRegistry::KeyExists(std::string_view key) const { return file_.Load().KeyExists(Resolve(key)); }

void TRegistry::CloseKey() { currentPath_.clear(); }

bool TRegistry::ValueExists(std::string_view name) const {
    const Hive hive = file_.Load();
    const Key* key = hive.FindKey(currentPath_);
    return key != nullptr && key->FindValue(name) != nullptr;
}

Value TRegistry::Fetch(std::string_view name, uint32_t wanted) const {
    const Hive hive = file_.Load();
    const Key* key = hive.FindKey(currentPath_);
    const Value* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) throw ValueNotFoundError(std::string(name), "HKEY_CURRENT_USER\\" + currentPath_);
    if (wanted == REG_NONE) return *value;
    if (wanted == REG_SZ && (value->type == REG_SZ || value->type == REG_EXPAND_SZ)) return *value;
    if (wanted == REG_DWORD && value->type == REG_DWORD && value->data.size() == 4) return *value;

    // The person who reads this can mend the file: say where, what it holds and how to write it.
    const std::string problem = value->type == wanted
                                    ? Describe(wanted) + " of " + std::to_string(value->data.size()) +
                                          " bytes, but a number takes exactly 4"
                                    : Describe(value->type) + ", but it must be " + Describe(wanted);
    throw TypeError("The settings file '" + file_.path() + "', line " + std::to_string(value->line) +
                    ": the value '" + value->name + "' in " + KeyName(currentPath_) + " is " + problem +
                    ". Write that line as " + LineToWrite(*value, wanted) + ", or delete it to go back to the default.");
}

ValueType TRegistry::GetDataType(std::string_view name) const {
    return static_cast<ValueType>(Fetch(name, REG_NONE).type);
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    const Hive hive = file_.Load();
    if (const Key* key = hive.FindKey(currentPath_))
        for (const auto& v : key->values) names.push_back(v.name);
    return names;
}

std::string TRegistry::ReadString(std::string_view name) const {
    return rtl::ToUtf8(DecodeUtf16(Fetch(name, REG_SZ).data));
}

int32_t TRegistry::ReadInteger(std::string_view name) const {
    const std::string data = Fetch(name, REG_DWORD).data;
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[i]);
    return static_cast<int32_t>(number);
}

bool TRegistry::ReadBool(std::string_view name) const { return ReadInteger(name) != 0; }

void TRegistry::Store(Value value) {
    CheckValueName(value.name);
    file_.Update([&](Hive& hive) {
        const bool keyAdded = hive.FindKey(currentPath_) == nullptr;
        return hive.AddKey(currentPath_).SetValue(value) || keyAdded;
    });
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    // Malformed UTF-8 would reach the file as U+FFFD: refuse it rather than store other text.
    if (!IsUtf8(value)) throw Error("Registry value '" + std::string(name) + "' cannot hold malformed UTF-8 text");
    Store(Value{std::string(name), REG_SZ, EncodeString(value)});
}

void TRegistry::WriteInteger(std::string_view name, int32_t value) {
    Store(Value{std::string(name), REG_DWORD, EncodeDWord(static_cast<uint32_t>(value))});
}

void TRegistry::WriteBool(std::string_view name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TRegistry::DeleteValue(std::string_view name) {
    bool existed = false;
    file_.Update([&](Hive& hive) {
        Key* key = hive.FindKey(currentPath_);
        existed = key != nullptr && key->RemoveValue(name);
        return existed;
    });
    return existed;
}

} // namespace zandrel::registry
