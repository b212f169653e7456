#pragma once
// Small pieces the transfer routines share: remote paths for messages, the date comparison of the
// newer-only transfers, and the reason a local file could not be used.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/rtl/DateTime.h"
#include "webcopy/Utilities.h"

namespace zandrel::webcopy {

// A remote file's path as the user would write it: the target folder (with "/") and the name.
inline std::string JoinRemote(const std::string& dir, const std::string& name) {
    std::string path = ToForwardSlashes(dir);
    if (!path.empty() && path.back() != '/') path += '/';
    return path + name;
}

// Whether date-time `a` is later than `b`, at the millisecond: the two sides reach the
// comparison through different conversions, and a rounding difference far below anything a
// file system stores must not decide whether a file is sent.
inline bool IsLaterDate(rtl::TDateTime a, rtl::TDateTime b) {
    constexpr double kMsPerDay = 86400000.0;
    return rtl::RoundHalfEven(a * kMsPerDay) > rtl::RoundHalfEven(b * kMsPerDay);
}

// What tells two FTP logins apart: the server (host and port) and the account. The parts are
// kept apart by a byte no host, user or password can hold, so "ab" + "c" is not "a" + "bc".
inline std::string FtpConnectionKey(const std::string& host, int32_t port, const std::string& user,
                                    const std::string& password) {
    return host + '\0' + std::to_string(port) + '\0' + user + '\0' + password;
}

// The system's words for the last failed call on a local file ("No such file or directory").
inline std::string LocalFailureReason(int error = errno) { return std::strerror(error); }

} // namespace zandrel::webcopy
