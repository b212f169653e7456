// FTP connections and the commands that move no data: log in, PWD, CWD, MKD, DELE.
#include "platform/inet/FtpHandles.h"

namespace zandrel::inet {
namespace {

using detail::ConnectionHandle;
using detail::Failure;
using detail::Guarded;
using detail::HandleKind;

// Runs one command on the connection; true for a positive completion (2xx). A refusal is the
// normal "false" of these calls and leaves the server's reply for InternetGetLastResponseInfo.
bool SimpleCommand(HINTERNET connection, const char* verb, const std::string& arg) {
    return Guarded<bool>(false, [&] {
        detail::RequireCommandSafe(arg);
        auto handle = detail::UsableFtpConnection(connection);
        std::string reply;
        const int status = handle->session->Command(verb, arg, reply);
        if (status / 100 != 2) throw Failure(ERROR_INTERNET_EXTENDED_ERROR, reply);
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace

namespace detail {

bool ConnectionHandle::Close() {
    if (session) session->Quit();
    return true;
}

std::shared_ptr<ConnectionHandle> UsableFtpConnection(HINTERNET handle) {
    auto connection = LookupAs<ConnectionHandle>(handle, HandleKind::Connection);
    if (connection->service != INTERNET_SERVICE_FTP || !connection->session)
        throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (connection->transferOpen) throw Failure(ERROR_FTP_TRANSFER_IN_PROGRESS);
    if (!connection->session->IsUsable(false)) throw Failure(ERROR_FTP_DROPPED);
    return connection;
}

} // namespace detail

HINTERNET InternetConnect(HINTERNET root, const std::string& serverName, INTERNET_PORT port,
                          const std::string& userName, const std::string& password, DWORD service,
                          DWORD flags, DWORD_PTR context) {
    return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
        auto rootHandle = detail::LookupAs<detail::RootHandle>(root, HandleKind::Root);
        if (service == INTERNET_SERVICE_HTTP) throw Failure(ERROR_NOT_SUPPORTED, "HTTP is not available yet");
        if (service != INTERNET_SERVICE_FTP) throw Failure(ERROR_INVALID_PARAMETER);
        // Everything that will go into a command is checked before the first byte goes out.
        detail::RequireCommandSafe(serverName);
        detail::RequireCommandSafe(userName);
        detail::RequireCommandSafe(password);

        auto connection = std::make_shared<ConnectionHandle>();
        connection->context = context;
        connection->service = service;
        connection->passive = (flags & INTERNET_FLAG_PASSIVE) != 0;
        connection->session = detail::FtpSession::Connect(
            serverName, port == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_FTP_PORT : port,
            rootHandle->timeouts);
        try {
            connection->session->Login(userName, password);
        } catch (...) {
            connection->session->Quit();
            throw;
        }
        SetLastError(ERROR_SUCCESS);
        return detail::RegisterHandle(std::move(connection), root);
    });
}

bool FtpGetCurrentDirectory(HINTERNET connection, std::string& directory) {
    return Guarded<bool>(false, [&] {
        auto handle = detail::UsableFtpConnection(connection);
        directory = handle->session->PrintWorkingDirectory();
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory) {
    return SimpleCommand(connection, "CWD", directory);
}

bool FtpCreateDirectory(HINTERNET connection, const std::string& directory) {
    return SimpleCommand(connection, "MKD", directory);
}

bool FtpDeleteFile(HINTERNET connection, const std::string& fileName) {
    return SimpleCommand(connection, "DELE", fileName);
}

} // namespace zandrel::inet
