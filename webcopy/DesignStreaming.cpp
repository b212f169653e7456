#include "webcopy/DesignStreaming.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <variant>

#include "webcopy/Protocols.h"
#include "webcopy/StreamingValues.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

using Json = nlohmann::ordered_json;

// The names an enumeration's values are stored by, ordered by ordinal.
template <class E>
struct EnumNames;
template <>
struct EnumNames<TZandrelWebCopyProtocol> {
    static std::span<const std::string_view> names() { return Protocols::Names(); }
};
template <>
struct EnumNames<TZandrelWebCopyHTTPCommand> {
    static constexpr std::array<std::string_view, 2> kNames = {"hcPost", "hcPut"};
    static std::span<const std::string_view> names() { return kNames; }
};
template <>
struct EnumNames<TZandrelWebCopyAuthentication> {
    static constexpr std::array<std::string_view, 3> kNames = {"waNever", "waAlways", "waAuto"};
    static std::span<const std::string_view> names() { return kNames; }
};
template <>
struct EnumNames<TZandrelWebCopyFtpSecurity> {
    static constexpr std::array<std::string_view, 4> kNames = {"fsNone", "fsFtpsExplicit", "fsFtpsImplicit", "fsSftp"};
    static std::span<const std::string_view> names() { return kNames; }
};
template <>
struct EnumNames<TZandrelWebCopyTargetExists> {
    static constexpr std::array<std::string_view, 2> kNames = {"teReplace", "teNextFreeName"};
    static std::span<const std::string_view> names() { return kNames; }
};

template <class Owner>
using Field = std::variant<std::string Owner::*, bool Owner::*, int32_t Owner::*, double Owner::*,
                           TZandrelWebCopyProtocol Owner::*, TZandrelWebCopyHTTPCommand Owner::*,
                           TZandrelWebCopyAuthentication Owner::*, TZandrelWebCopyTargetExists Owner::*,
                           TZandrelWebCopyFtpSecurity Owner::*>;

template <class Owner>
struct Property {
    const char* name;
    Field<Owner> field;
    // Properties added after the first release are written only when they differ from their
    // default, so that a stream of a component that does not use them reads anywhere as before.
    bool writtenWhenDefault = true;
};

using Item = TZandrelWebCopyItem;
using Component = TZandrelWebCopy;

// In declaration order, which is also the order they are written in.
const auto kItemProperties = std::to_array<Property<Item>>({
    {"URL", &Item::URL},
    {"TargetDir", &Item::TargetDir},
    {"TargetFilename", &Item::TargetFilename},
    {"Protocol", &Item::Protocol},
    {"HTTPCommand", &Item::HTTPCommand},
    {"FTPHost", &Item::FTPHost},
    {"FTPUserID", &Item::FTPUserID},
    {"FTPPassword", &Item::FTPPassword},
    {"FTPPort", &Item::FTPPort},
    {"Active", &Item::Active},
    {"CopyNewerOnly", &Item::CopyNewerOnly},
    {"FileDate", &Item::FileDate},
    {"Authenticate", &Item::Authenticate},
    {"HTTPUserID", &Item::HTTPUserID},
    {"DisplayURL", &Item::DisplayURL},
    {"HTTPPassword", &Item::HTTPPassword},
    {"WhenTargetExists", &Item::WhenTargetExists, false},
    {"FTPSecurity", &Item::FTPSecurity, false},
    {"SSHKeyFile", &Item::SSHKeyFile, false},
});

// "Items" sits between these two groups; "Version" comes last.
const auto kComponentPropertiesBeforeItems = std::to_array<Property<Component>>({
    {"Agent", &Component::Agent},
    {"AlwaysOnTop", &Component::AlwaysOnTop},
    {"CreateUniqueFilenames", &Component::CreateUniqueFilenames},
    {"DlgCancel", &Component::DlgCancel},
    {"DlgCaption", &Component::DlgCaption},
    {"DlgCompleted", &Component::DlgCompleted},
    {"DlgClose", &Component::DlgClose},
    {"DlgFileLabel", &Component::DlgFileLabel},
    {"DlgFileOfLabel", &Component::DlgFileOfLabel},
    {"DlgFromServerLabel", &Component::DlgFromServerLabel},
    {"DlgToServerLabel", &Component::DlgToServerLabel},
    {"DlgProgressLabel", &Component::DlgProgressLabel},
    {"DlgRateLabel", &Component::DlgRateLabel},
    {"DlgTimeLabel", &Component::DlgTimeLabel},
    {"DlgElapsedTimeLabel", &Component::DlgElapsedTimeLabel},
    {"DlgCopying", &Component::DlgCopying},
    {"DlgDwnload", &Component::DlgDwnload},
    {"DlgUpload", &Component::DlgUpload},
    {"DlgOpenFile", &Component::DlgOpenFile},
    {"DlgOpenFolder", &Component::DlgOpenFolder},
    {"FTPPassive", &Component::FTPPassive},
    {"HTTPKeepAliveAuthentication", &Component::HTTPKeepAliveAuthentication},
});
const auto kComponentPropertiesAfterItems = std::to_array<Property<Component>>({
    {"Proxy", &Component::Proxy},
    {"ProxyUserID", &Component::ProxyUserID},
    {"ProxyPassword", &Component::ProxyPassword},
    {"DlgShowCancel", &Component::DlgShowCancel},
    {"DlgShowCloseBtn", &Component::DlgShowCloseBtn},
    {"ShowDialog", &Component::ShowDialog},
    {"ShowDialogOnTop", &Component::ShowDialogOnTop},
    {"ShowOpenFile", &Component::ShowOpenFile},
    {"ShowOpenFolder", &Component::ShowOpenFolder},
    {"ShowCompletion", &Component::ShowCompletion},
    {"ShowElapsedTime", &Component::ShowElapsedTime},
    {"ShowFileName", &Component::ShowFileName},
    {"ShowServer", &Component::ShowServer},
    {"ShowTime", &Component::ShowTime},
});
constexpr const char* kItems = "Items";
constexpr const char* kVersion = "Version";

// ---- writing -----------------------------------------------------------------------------------

template <class Owner>
void WriteProperty(Json& out, const Owner& owner, const Property<Owner>& property) {
    std::visit(
        [&](auto member) {
            using Value = std::decay_t<decltype(owner.*member)>;
            if (!property.writtenWhenDefault && owner.*member == Owner{}.*member) return;
            if constexpr (std::is_enum_v<Value>) {
                const auto names = EnumNames<Value>::names();
                const auto ordinal = static_cast<size_t>(owner.*member);
                if (ordinal >= names.size())
                    throw std::out_of_range(std::string(property.name) + ": no name for the value " +
                                            std::to_string(ordinal));
                out[property.name] = std::string(names[ordinal]);
            } else if constexpr (std::is_same_v<Value, std::string>) {
                out[property.name] = TextToJson(owner.*member);
            } else {
                out[property.name] = owner.*member;
            }
        },
        property.field);
}

// ---- reading -----------------------------------------------------------------------------------

[[noreturn]] void Refuse(const std::string& path, const std::string& problem) {
    throw StreamingError(path + ": " + problem);
}

std::string JoinNames(std::span<const std::string_view> names) {
    std::string text;
    for (std::string_view name : names) (text += text.empty() ? "" : ", ") += name;
    return text;
}

template <class Owner>
void ReadProperty(const Json& value, Owner& owner, const Property<Owner>& property, const std::string& path) {
    std::visit(
        [&](auto member) {
            using Value = std::decay_t<decltype(owner.*member)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                std::optional<std::string> text = JsonToText(value, path);
                if (!text) Refuse(path, "expected a string (or {\"hex\": ...} for bytes that are not UTF-8)");
                owner.*member = std::move(*text);
            } else if constexpr (std::is_same_v<Value, bool>) {
                if (!value.is_boolean()) Refuse(path, "expected true or false");
                owner.*member = value.template get<bool>();
            } else if constexpr (std::is_same_v<Value, int32_t>) {
                if (!value.is_number_integer()) Refuse(path, "expected a whole number");
                if (value.is_number_unsigned()) {
                    const auto n = value.template get<uint64_t>();
                    if (n > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
                        Refuse(path, "number out of range");
                    owner.*member = static_cast<int32_t>(n);
                } else {
                    const auto n = value.template get<int64_t>();
                    if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
                        Refuse(path, "number out of range");
                    owner.*member = static_cast<int32_t>(n);
                }
            } else if constexpr (std::is_same_v<Value, double>) {
                // Date-times are the only floating-point properties.
                double date = 0;
                if (value.is_number()) {
                    date = value.template get<double>();
                    if (!(date >= kFirstDateTime && date < kEndDateTime))
                        Refuse(path, "number out of range (a date-time in days from 0001-01-01 to 9999-12-31)");
                } else if (!value.is_string() || !IsoToDateTime(value.template get_ref<const std::string&>(), date)) {
                    Refuse(path, "expected a date-time: days since 1899-12-30, or ISO 8601 such as "
                                 "\"2026-12-10T14:05:00\" (local time) or \"2026-12-10T13:05:00Z\"");
                }
                owner.*member = date;
            } else {
                const auto names = EnumNames<Value>::names();
                if (!value.is_string()) Refuse(path, "expected one of the names " + JoinNames(names));
                const auto text = value.template get<std::string>();
                for (size_t i = 0; i < names.size(); ++i) {
                    if (text == names[i]) {
                        owner.*member = static_cast<Value>(i);
                        return;
                    }
                }
                Refuse(path, "unknown value \"" + text + "\" (expected one of " + JoinNames(names) + ")");
            }
        },
        property.field);
}

template <class Owner, size_t N>
const Property<Owner>* Find(const std::array<Property<Owner>, N>& table, const std::string& name) {
    for (const auto& property : table)
        if (name == property.name) return &property;
    return nullptr;
}

void ReadItem(const Json& json, Item& item, const std::string& path) {
    if (!json.is_object()) Refuse(path, "expected an object");
    for (const auto& [name, value] : json.items()) {
        const std::string propertyPath = path + "." + name;
        const auto* property = Find(kItemProperties, name);
        if (!property) Refuse(propertyPath, "unknown property");
        ReadProperty(value, item, *property, propertyPath);
    }
}

void ReadComponent(const Json& json, Component& component) {
    if (!json.is_object()) Refuse("(component)", "expected an object of properties");
    for (const auto& [name, value] : json.items()) {
        if (name == kVersion) {
            if (!value.is_string()) Refuse(name, "expected a string");
            component.SetVersion(value.get<std::string>());
            continue;
        }
        if (name == kItems) {
            if (!value.is_array()) Refuse(name, "expected a list of items");
            component.Items.Clear();
            for (size_t i = 0; i < value.size(); ++i)
                ReadItem(value[i], component.Items.Add(), std::string(kItems) + "[" + std::to_string(i) + "]");
            continue;
        }
        const auto* property = Find(kComponentPropertiesBeforeItems, name);
        if (!property) property = Find(kComponentPropertiesAfterItems, name);
        if (!property) Refuse(name, "unknown property");
        ReadProperty(value, component, *property, name);
    }
}

} // namespace

Json SaveComponentJson(const TZandrelWebCopy& component) {
    Json out = Json::object();
    for (const auto& property : kComponentPropertiesBeforeItems) WriteProperty(out, component, property);
    Json items = Json::array();
    for (int i = 0; i < component.Items.Count(); ++i) {
        Json item = Json::object();
        for (const auto& property : kItemProperties) WriteProperty(item, component.Items[i], property);
        items.push_back(std::move(item));
    }
    out[kItems] = std::move(items);
    for (const auto& property : kComponentPropertiesAfterItems) WriteProperty(out, component, property);
    out[kVersion] = component.Version();
    return out;
}

std::string SaveComponentText(const TZandrelWebCopy& component) { return SaveComponentJson(component).dump(2) + "\n"; }

void LoadComponentJson(TZandrelWebCopy& component, const Json& json) {
    // A trial load into a scratch component finds every problem before the real one is touched.
    TZandrelWebCopy scratch;
    ReadComponent(json, scratch);
    ReadComponent(json, component);
}

void LoadComponentText(TZandrelWebCopy& component, std::string_view text) {
    LoadComponentJson(component, ParseJsonText(text));
}

} // namespace zandrel::webcopy
