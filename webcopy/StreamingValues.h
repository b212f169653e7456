#pragma once
// How single values look in the component's JSON (job files, designer files, the webcopy tool's
// events): text that may not be UTF-8, date-times, and the parsing of JSON text with the path of
// whatever is wrong in it.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/rtl/DateTime.h"
#include "webcopy/DesignStreaming.h"

namespace zandrel::webcopy {

// ---- text ---------------------------------------------------------------------------------------
// Names come from servers and file systems as bytes, and not every name is UTF-8, which JSON
// strings must be. Such a name is written as an object that keeps its bytes exactly:
//   {"hex": "636166e92e747874", "text": "caf\uFFFD.txt"}
// "hex" holds every byte as two hex digits; "text" is for people only (each byte that is not part
// of valid UTF-8 shown as U+FFFD) and is ignored when read. Text that is valid UTF-8 stays a plain
// string, so most output never shows the object form.
bool IsValidUtf8(std::string_view text);
nlohmann::ordered_json TextToJson(const std::string& text);
// A plain string, or the object form above (its "hex" digits in either case). Nothing when `value`
// is neither; a StreamingError at `path` when it is the object form with bad hex digits.
std::optional<std::string> JsonToText(const nlohmann::ordered_json& value, const std::string& path);
// For people: the text with every byte that is not part of valid UTF-8 shown as \xHH.
std::string PrintableText(const std::string& text);

// ---- date-times ---------------------------------------------------------------------------------
// The range of dates a date-time holds: 0001-01-01 up to the end of 9999-12-31.
constexpr rtl::TDateTime kFirstDateTime = -693593.0;
constexpr rtl::TDateTime kEndDateTime = 2958466.0;

// ISO 8601 in local time with the zone's offset at that moment: "2026-12-10T14:05:09+01:00",
// with ".mmm" after the seconds when there are milliseconds. Empty outside the range above.
std::string DateTimeToIso(rtl::TDateTime value);
// Reads "YYYY-MM-DD", optionally followed by "THH:MM", ":SS", ".fff" (any number of digits) and a
// zone ("Z", "+HH:MM", "+HHMM", "+HH"). A space may stand for the "T". Without a zone the time is
// local, as date-times are. False for anything else or a date or time outside the calendar.
bool IsoToDateTime(std::string_view text, rtl::TDateTime& value);

// ---- JSON text ----------------------------------------------------------------------------------
// Parses JSON text, refusing with a StreamingError that names where the problem is: the property
// path for a number too large for any type ("Items[0].FileDate: number out of range"), the
// position for text that is not JSON. Nesting deeper than any job needs is refused too.
nlohmann::ordered_json ParseJsonText(std::string_view text);

} // namespace zandrel::webcopy
