// The thread's last error, the server's last reply, and the layer's error texts.
#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>

#include <map>

#include "platform/inet/Failure.h"
#include "platform/inet/Inet.h"

namespace zandrel::inet {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
thread_local int lastResponseStatus = 0;
thread_local std::string lastResponseText;

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
    throw Failure(ERROR_INTERNET_EXTENDED_ERROR, reply);
}

void RequireCommandSafe(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw Failure(ERROR_INVALID_PARAMETER, "CR, LF or NUL in an FTP command argument");
}

void SetFailureFromCurrentException() {
    try {
        throw;
    } catch (const Failure& failure) {
        SetLastError(failure.code());
    } catch (const Poco::TimeoutException&) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
    } catch (const Poco::Net::DNSException&) {
        SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
    } catch (const Poco::Net::ConnectionRefusedException&) {
        SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
    } catch (const Poco::Net::NetException&) {
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
    } catch (const Poco::IOException&) {
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
    } catch (...) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    }
}

} // namespace detail
} // namespace zandrel::inet
