#include "webcopy/Utilities.h"

#include "platform/inet/Inet.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::webcopy {
namespace {

rtl::TDateTime EncodeSystemTime(const rtl::SYSTEMTIME& st) {
    rtl::TDateTime date = 0;
    rtl::TDateTime time = 0;
    if (!rtl::TryEncodeDate(st.wYear, st.wMonth, st.wDay, date))
        throw DateConversionError("Invalid argument to date encode");
    if (!rtl::TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, time))
        throw DateConversionError("Invalid argument to time encode");
    return rtl::ComposeDateTime(date, time);
}

// Something is at the path: a file, a folder, or a link, even a dangling one (a download would
// otherwise follow it and write to wherever it points). A path that cannot be examined at all
// (its folder is missing or unreadable) counts as free, so the search ends; creating the file
// there fails and is reported by the caller.
bool SomethingAt(const std::string& path) { return rtl::KindOfPath(path) != rtl::PathKind::Missing; }

} // namespace

std::string ToForwardSlashes(const std::string& text) { return rtl::StringReplaceAll(text, "\\", "/"); }

std::string ExtractUrlFileName(const std::string& text) {
    const auto last = text.find_last_of("/\\");
    return last == std::string::npos ? text : text.substr(last + 1);
}

std::string JoinDirFile(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == rtl::PathDelim) return dir + name;
    return dir + rtl::PathDelim + name;
}

bool DirExists(const std::string& path) { return rtl::DirectoryExists(path); }

bool ForceDirTree(const std::string& path) {
    if (path.empty()) return true;
    std::string dir = path;
    if (dir.back() == rtl::PathDelim) dir.pop_back();
    // An empty rest is the root of the file system, which always exists.
    if (dir.empty() || DirExists(dir)) return true;
    const auto lastDelim = dir.rfind(rtl::PathDelim);
    const std::string parent = lastDelim == std::string::npos ? std::string() : dir.substr(0, lastDelim + 1);
    if (parent == dir) return true;
    if (!ForceDirTree(parent)) return false;
    return rtl::CreateDirectory(dir);
}

rtl::TDateTime FileTimeToDate(const rtl::FILETIME& filetime) {
    rtl::SYSTEMTIME st;
    if (!rtl::FileTimeToSystemTime(filetime, st)) return 0;
    return EncodeSystemTime(st);
}

rtl::TDateTime SystemTimeToDate(const rtl::SYSTEMTIME& systemtime) {
    if (systemtime.wYear == 0 && systemtime.wMonth == 0) return rtl::Now();
    return EncodeSystemTime(systemtime);
}

std::string InetErrorText(uint32_t code) { return inet::InternetErrorMessage(code); }

std::string StripFileExt(const std::string& path) {
    const auto nameStart = path.rfind(rtl::PathDelim);
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return path;
    return path.substr(0, dot);
}

std::string MakeUniqueFileName(const std::string& path) {
    const std::string base = StripFileExt(path);
    const std::string ext = path.substr(base.size());
    for (uint64_t n = 1;; ++n) {
        std::string candidate = base + "(" + std::to_string(n) + ")" + ext;
        if (!SomethingAt(candidate)) return candidate;
    }
}

} // namespace zandrel::webcopy
