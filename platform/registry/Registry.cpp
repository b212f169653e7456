#include "platform/registry/Registry.h"

#include "platform/rtl/Utf16.h"

namespace zandrel::registry {

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
        file_.Update([&](Hive& hive) {
            if (hive.FindKey(path) != nullptr) return false;
            hive.AddKey(path);
            return true;
        });
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

Value TRegistry::Fetch(std::string_view name, std::string_view requestedType) const {
    const Hive hive = file_.Load();
    const Key* key = hive.FindKey(currentPath_);
    const Value* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) throw ValueNotFoundError(std::string(name), "HKEY_CURRENT_USER\\" + currentPath_);
    if (requestedType == "REG_SZ" && (value->type == REG_SZ || value->type == REG_EXPAND_SZ)) return *value;
    if (requestedType == "REG_DWORD" && value->type == REG_DWORD) {
        if (value->data.size() != 4)
            throw Error("REG_DWORD value '" + value->name + "' holds " + std::to_string(value->data.size()) +
                        " bytes instead of 4");
        return *value;
    }
    if (requestedType.empty()) return *value;
    throw TypeError(value->name, TypeName(value->type), std::string(requestedType));
}

ValueType TRegistry::GetDataType(std::string_view name) const { return static_cast<ValueType>(Fetch(name, "").type); }

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> names;
    const Hive hive = file_.Load();
    if (const Key* key = hive.FindKey(currentPath_))
        for (const auto& v : key->values) names.push_back(v.name);
    return names;
}

std::string TRegistry::ReadString(std::string_view name) const {
    return rtl::ToUtf8(DecodeUtf16(Fetch(name, "REG_SZ").data));
}

int32_t TRegistry::ReadInteger(std::string_view name) const {
    const std::string data = Fetch(name, "REG_DWORD").data;
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
