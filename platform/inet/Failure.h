#pragma once
// How the layer's inner parts report trouble to the API functions, which turn it into a false or
// null result and the thread's last error.
#include <string>
#include <utility>
#include <string_view>

#include "platform/inet/Inet.h"
#include "platform/inet/Wait.h"
#include "platform/rtl/Error.h"

namespace zandrel::inet::detail {

// `reason` is what InternetLastFailureReason will say: the server's reply, the system error, the
// bound that was broken. Empty: a plain text for the code.
class Failure : public rtl::Error {
public:
    explicit Failure(DWORD code, std::string reason = {})
        : rtl::Error(reason.empty() ? "inet error " + std::to_string(code) : reason), code_(code),
          reason_(std::move(reason)) {}
    DWORD code() const { return code_; }
    const std::string& reason() const { return reason_; }

private:
    DWORD code_;
    std::string reason_;
};

// "30 s", "0.8 s".
std::string SecondsText(Millis limit);
// "no answer within 30 s" for a wait that ran out.
std::string NoAnswerWithin(Millis limit);
// strerror's text for an errno value ("Connection refused").
std::string SystemErrorText(int error);
// Sets the thread's last error and failure reason (one line, made safe to print).
void SetFailure(DWORD code, std::string_view reason);

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
