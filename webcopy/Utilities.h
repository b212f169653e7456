#pragma once
// Small path, time and error-text helpers shared by the transfer routines.
//
// Separators: remote paths and URLs may use "/" or "\" (ToForwardSlashes, ExtractUrlFileName
// accept both, as users type either). Local paths use this system's separator "/" only
// (JoinDirFile, ForceDirTree, StripFileExt, MakeUniqueFileName): on Linux "\" is an ordinary
// character of a file name, so treating it as a separator there would write somewhere else than
// the user named.
#include <cstdint>
#include <string>

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Error.h"

namespace zandrel::webcopy {

// A date or time field outside its range.
class DateConversionError : public rtl::Error {
public:
    using rtl::Error::Error;
};

// Every "\" becomes "/".
std::string ToForwardSlashes(const std::string& text);
// The part after the last "/" or "\"; the whole text without separators; empty after a
// trailing separator.
std::string ExtractUrlFileName(const std::string& text);
// dir + "/" + name, without doubling a trailing "/"; an empty dir gives name.
std::string JoinDirFile(const std::string& dir, const std::string& name);
// True when the path names a directory (links followed).
bool DirExists(const std::string& path);
// Creates the directory and every missing parent; true when it exists afterwards. Stops at the
// first level that cannot be created, without trying the levels below it.
bool ForceDirTree(const std::string& path);
// The record's date and time, in whatever zone the record was in (no zone conversion).
// 0 when the record is beyond the calendar; throws DateConversionError for out-of-range fields.
rtl::TDateTime FileTimeToDate(const rtl::FILETIME& filetime);
// An all-zero record (year and month 0) means "now" (local). Throws DateConversionError for
// fields out of range. The day of the week is ignored.
rtl::TDateTime SystemTimeToDate(const rtl::SYSTEMTIME& systemtime);
// The Internet layer's text for one of its error codes, with its trailing line break; empty for
// a code the layer does not know.
std::string InetErrorText(uint32_t code);
// The path without the extension of its file name (a "." in a folder name does not count).
std::string StripFileExt(const std::string& path);
// The first of base(1).ext, base(2).ext, ... at which nothing exists yet.
std::string MakeUniqueFileName(const std::string& path);

} // namespace zandrel::webcopy
