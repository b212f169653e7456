#pragma once
// The component's published properties and its items' published properties as JSON: what a
// designer stores and what job files hold. Property names are the component's own ("ShowDialog",
// "FTPPassive", "Items": [{"Protocol": "wpFtpUpload", "URL": ...}]); enumeration values go by
// their names, date-times as numbers (days since 30 December 1899) or, when read, ISO 8601 text,
// and text that is not UTF-8 in the object form of StreamingValues.h.
//
// Loading is all or nothing: unknown property names, values of the wrong type or out of their
// type's range, and unknown enumeration names are refused with a StreamingError naming the property's path
// (e.g. `Items[1].Protocol: unknown value "wpGopher"`), and the component is left as it was.
// Properties that are absent keep their current values; "Items", when present, replaces the
// list. "Version" is accepted and ignored.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/rtl/Error.h"

namespace zandrel::webcopy {

class TZandrelWebCopy;

class StreamingError : public rtl::Error {
public:
    using rtl::Error::Error;
};

nlohmann::ordered_json SaveComponentJson(const TZandrelWebCopy& component);
// Indented text of SaveComponentJson.
std::string SaveComponentText(const TZandrelWebCopy& component);

void LoadComponentJson(TZandrelWebCopy& component, const nlohmann::ordered_json& json);
// Also refuses text that is not JSON at all.
void LoadComponentText(TZandrelWebCopy& component, std::string_view text);

} // namespace zandrel::webcopy
