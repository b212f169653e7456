#pragma once
// How the layer's inner parts report trouble to the API functions, which turn it into a false or
// null result and the thread's last error.
#include <string>
#include <string_view>

#include "platform/inet/Inet.h"
#include "platform/rtl/Error.h"

namespace zandrel::inet::detail {

class Failure : public rtl::Error {
public:
    explicit Failure(DWORD code, std::string detail = {})
        : rtl::Error(detail.empty() ? "inet error " + std::to_string(code) : detail), code_(code) {}
    DWORD code() const { return code_; }

private:
    DWORD code_;
};

// Records the server's latest reply for InternetGetLastResponseInfo.
void RecordResponse(int status, const std::string& text);
// A server's negative reply: records it and throws ERROR_INTERNET_EXTENDED_ERROR.
[[noreturn]] void ThrowServerRefusal(int status, const std::string& reply);

// CR, LF and NUL would end or split an FTP command line and let a name smuggle in commands of its
// own; such text fails with ERROR_INVALID_PARAMETER before anything goes out.
void RequireCommandSafe(std::string_view text);

// Runs `body`; a Failure or any other exception becomes the thread's last error and `onFailure`.
template <class Result, class Body>
Result Guarded(Result onFailure, Body&& body);

void SetFailureFromCurrentException();

template <class Result, class Body>
Result Guarded(Result onFailure, Body&& body) {
    try {
        Result result = body();
        return result;
    } catch (...) {
        SetFailureFromCurrentException();
        return onFailure;
    }
}

} // namespace zandrel::inet::detail
