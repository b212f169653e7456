// The thread's last error, the server's last reply, and the layer's error texts.
#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/inet/Failure.h"
#include "platform/inet/Inet.h"

namespace zandrel::inet {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
thread_local int lastResponseStatus = 0;
thread_local std::string lastResponseText;
thread_local std::string lastFailureReason;

constexpr size_t kReasonLimit = 512;

const std::map<DWORD, const char*>& Texts() {
    static const std::map<DWORD, const char*> texts = {
        {ERROR_SUCCESS, "The operation completed successfully."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NO_MORE_FILES, "There are no more files."},
        {ERROR_NOT_SUPPORTED, "The request is not supported."},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
        {ERROR_INTERNET_TIMEOUT, "The operation timed out"},
        {ERROR_INTERNET_EXTENDED_ERROR, "An extended error was returned from the server. This is "
                                        "typically a string or buffer containing a verbose error "
                                        "message. Call InternetGetLastResponseInfo to retrieve the "
                                        "error text."},
        {ERROR_INTERNET_INTERNAL_ERROR, "An internal error occurred in the Microsoft Internet "
                                        "extensions."},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name or address could not be resolved"},
        {ERROR_INTERNET_INVALID_OPTION, "The option is invalid."},
        {ERROR_INTERNET_INCORRECT_USER_NAME, "The FTP server does not allow the user name."},
        {ERROR_INTERNET_INCORRECT_PASSWORD, "The FTP server does not allow the password."},
        {ERROR_INTERNET_LOGIN_FAILURE, "The login request was denied."},
        {ERROR_INTERNET_OPERATION_CANCELLED, "The operation was canceled."},
        {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "The type of handle supplied is incorrect for this "
                                               "operation."},
        {ERROR_INTERNET_INCORRECT_HANDLE_STATE, "The requested operation cannot be carried out "
                                                "because the handle supplied is not in the correct "
                                                "state."},
        {ERROR_INTERNET_CANNOT_CONNECT, "A connection with the server could not be established"},
        {ERROR_INTERNET_CONNECTION_ABORTED, "The connection with the server was terminated "
                                            "abnormally"},
        {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The URL scheme could not be recognized or is not supported."},
        {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, "The application is moving from an SSL to an non-SSL "
                                                "connection because of a redirect."},
        {ERROR_INTERNET_SEC_CERT_ERRORS, "The SSL certificate contains errors."},
        {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "The application experienced an internal error "
                                                "loading the SSL libraries."},
        {ERROR_HTTP_HEADER_NOT_FOUND, "The requested header could not be located."},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server response could not be parsed."},
        {ERROR_HTTP_REDIRECT_FAILED, "The redirection failed because either the scheme changed or "
                                     "all attempts made to redirect failed."},
        {ERROR_FTP_TRANSFER_IN_PROGRESS, "There is already an FTP request in progress on this "
                                         "session."},
        {ERROR_FTP_DROPPED, "The FTP session was terminated."},
        {ERROR_FTP_NO_PASSIVE_MODE, "FTP Passive mode is not available."},
    };
    return texts;
}

} // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

bool InternetGetLastResponseInfo(DWORD& error, std::string& text) {
    error = static_cast<DWORD>(lastResponseStatus);
    text = lastResponseText;
    return true;
}

std::string InternetLastFailureReason() { return lastFailureReason; }

std::string InternetErrorMessage(DWORD code) {
    const auto it = Texts().find(code);
    if (it == Texts().end()) return {};
    return std::string(it->second) + "\r\n";
}

namespace detail {

void RecordResponse(int status, const std::string& text) {
    lastResponseStatus = status;
    lastResponseText = text;
}

void ThrowServerRefusal(int status, const std::string& reply) {
    RecordResponse(status, reply);
    throw Failure(ERROR_INTERNET_EXTENDED_ERROR, reply.empty() ? "reply " + std::to_string(status) : reply);
}

void RequireCommandSafe(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw Failure(ERROR_INVALID_PARAMETER, "CR, LF or NUL in a name, a credential or a setting");
}

std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(std::min(text.size(), kReasonLimit));
    for (char c : text) {
        if (line.size() >= kReasonLimit) break;
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') continue;
        // A reply's line breaks become blanks; other control characters (terminal escapes from
        // a hostile server) become '?', so the reason is safe to print.
        line += c == '\n' ? ' ' : (byte < 0x20 || byte == 0x7f) ? '?' : c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string DefaultReason(DWORD code) {
    switch (code) {
    case ERROR_INTERNET_OPERATION_CANCELLED: return "cancelled";
    case ERROR_INTERNET_TIMEOUT: return "no answer in time";
    case ERROR_FTP_DROPPED: return "the server closed the connection";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "the connection broke";
    case ERROR_INTERNET_CANNOT_CONNECT: return "cannot connect";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_NO_MORE_FILES: return "no matching entries";
    default: {
        std::string text = InternetErrorMessage(code);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text.empty() ? "error " + std::to_string(code) : text;
    }
    }
}

std::string SecondsText(Millis limit) {
    const auto ms = limit.count();
    char text[64];
    if (ms % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(ms / 1000));
    else
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string NoAnswerWithin(Millis limit) { return "no answer within " + SecondsText(limit); }

std::string SystemErrorText(int error) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "error " + std::to_string(error);
}

void SetFailure(DWORD code, std::string_view reason) {
    SetLastError(code);
    lastFailureReason = reason.empty() ? DefaultReason(code) : OneLine(reason);
}

void SetFailureFromCurrentException() {
    try {
        throw;
    } catch (const Failure& failure) {
        SetFailure(failure.code(), failure.reason());
    } catch (const Poco::TimeoutException& e) {
        SetFailure(ERROR_INTERNET_TIMEOUT, e.displayText());
    } catch (const Poco::Net::DNSException& e) {
        SetFailure(ERROR_INTERNET_NAME_NOT_RESOLVED, e.displayText());
    } catch (const Poco::Net::ConnectionRefusedException& e) {
        SetFailure(ERROR_INTERNET_CANNOT_CONNECT, e.displayText());
    } catch (const Poco::Net::NetException& e) {
        SetFailure(ERROR_INTERNET_CONNECTION_ABORTED, e.displayText());
    } catch (const Poco::IOException& e) {
        SetFailure(ERROR_INTERNET_CONNECTION_ABORTED, e.displayText());
    } catch (const std::exception& e) {
        SetFailure(ERROR_INTERNET_INTERNAL_ERROR, e.what());
    } catch (...) {
        SetFailure(ERROR_INTERNET_INTERNAL_ERROR, {});
    }
}

} // namespace detail

void InternetSetLastFailureReason(const std::string& reason) { lastFailureReason = detail::OneLine(reason); }

} // namespace zandrel::inet
