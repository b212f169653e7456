// FTP connections and the commands that move no data: log in, PWD, CWD, MKD, DELE.
#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/inet/FtpHandles.h"
#include "platform/inet/HttpHandles.h"
#include "platform/inet/SftpCalls.h"

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

int Digits(std::string_view text) {
    int value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
}

// "213 20240131235959" or "213 20240131235959.123456": UTC, to 100 ns at most.
std::optional<rtl::FILETIME> ParseMdtmReply(std::string_view reply) {
    if (reply.size() < 18 || reply.substr(0, 4) != "213 ") return std::nullopt;
    std::string_view stamp = reply.substr(4);
    while (!stamp.empty() && stamp.back() == ' ') stamp.remove_suffix(1);
    const auto allDigits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (stamp.size() < 14 || !allDigits(stamp.substr(0, 14))) return std::nullopt;
    std::string_view fraction;
    if (stamp.size() > 14) {
        if (stamp[14] != '.' || !allDigits(stamp.substr(15))) return std::nullopt;
        fraction = stamp.substr(15);
    }
    const rtl::SYSTEMTIME st =
        rtl::MakeSystemTime(Digits(stamp.substr(0, 4)), Digits(stamp.substr(4, 2)), Digits(stamp.substr(6, 2)),
                            Digits(stamp.substr(8, 2)), Digits(stamp.substr(10, 2)), Digits(stamp.substr(12, 2)));
    rtl::FILETIME whole;
    if (!rtl::SystemTimeToFileTime(st, whole)) return std::nullopt;
    uint64_t ticks = 0; // the fraction in 100 ns units; digits beyond the seventh are dropped
    for (size_t i = 0; i < 7; ++i) ticks = ticks * 10 + (i < fraction.size() ? static_cast<uint64_t>(fraction[i] - '0') : 0);
    return rtl::FILETIME::FromTicks(whole.Ticks() + ticks);
}

} // namespace

namespace detail {

bool ConnectionHandle::Close() {
    if (session) session->Quit();
    sftp.reset(); // says goodbye, within the session's timeout
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
        if (service == INTERNET_SERVICE_HTTP) return detail::OpenHttpConnection(root, serverName, port, userName, password, context);
        if (service != INTERNET_SERVICE_FTP) throw Failure(ERROR_INVALID_PARAMETER);
        if (flags & INTERNET_FLAG_SFTP)
            return detail::SftpConnect(root, rootHandle->timeouts, serverName, port, userName, password, context);
        // Everything that will go into a command is checked before the first byte goes out.
        detail::RequireCommandSafe(serverName);
        detail::RequireCommandSafe(userName);
        detail::RequireCommandSafe(password);

        const bool explicitTls = (flags & INTERNET_FLAG_FTPS_EXPLICIT) != 0;
        const bool implicitTls = (flags & INTERNET_FLAG_FTPS_IMPLICIT) != 0;
        if (explicitTls && implicitTls)
            throw Failure(ERROR_INVALID_PARAMETER, "FTPS is either explicit or implicit, not both");
        const detail::FtpSecurity security = explicitTls   ? detail::FtpSecurity::Explicit
                                             : implicitTls ? detail::FtpSecurity::Implicit
                                                           : detail::FtpSecurity::None;
        const INTERNET_PORT defaultPort = implicitTls ? INTERNET_DEFAULT_FTPS_PORT : INTERNET_DEFAULT_FTP_PORT;

        auto connection = std::make_shared<ConnectionHandle>();
        connection->context = context;
        connection->service = service;
        connection->passive = (flags & INTERNET_FLAG_PASSIVE) != 0;
        connection->session = detail::FtpSession::Connect(
            serverName, port == INTERNET_INVALID_PORT_NUMBER ? defaultPort : port, rootHandle->timeouts, security);
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
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpGetCurrentDirectory(*sftp, directory);
    return Guarded<bool>(false, [&] {
        auto handle = detail::UsableFtpConnection(connection);
        directory = handle->session->PrintWorkingDirectory();
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpSetCurrentDirectory(*sftp, directory);
    return SimpleCommand(connection, "CWD", directory);
}

bool FtpCreateDirectory(HINTERNET connection, const std::string& directory) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpCreateDirectory(*sftp, directory);
    return SimpleCommand(connection, "MKD", directory);
}

bool FtpRemoveDirectory(HINTERNET connection, const std::string& directory) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpRemoveDirectory(*sftp, directory);
    return SimpleCommand(connection, "RMD", directory);
}

bool FtpDeleteFile(HINTERNET connection, const std::string& fileName) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpDeleteFile(*sftp, fileName);
    return SimpleCommand(connection, "DELE", fileName);
}

bool FtpRenameFile(HINTERNET connection, const std::string& existing, const std::string& newName) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpRenameFile(*sftp, existing, newName);
    return Guarded<bool>(false, [&] {
        detail::RequireCommandSafe(existing);
        detail::RequireCommandSafe(newName);
        auto handle = detail::UsableFtpConnection(connection);
        std::string reply;
        const int status = handle->session->Command("RNFR", existing, reply);
        if (status != 350) detail::ThrowServerRefusal(status, reply);
        handle->session->CommandExpecting2xx("RNTO", newName);
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool FtpHasFeature(HINTERNET connection, const std::string& feature) {
    if (detail::SftpConnectionOf(connection)) {
        // What these features give, an SFTP server's file attributes give: sizes and exact times.
        std::string upper = feature;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        SetLastError(ERROR_SUCCESS);
        return upper == "MDTM" || upper == "SIZE" || upper == "MLST" || upper == "MLSD";
    }
    return Guarded<bool>(false, [&] {
        auto handle = detail::UsableFtpConnection(connection);
        const bool offered = handle->session->HasFeature(feature);
        SetLastError(ERROR_SUCCESS);
        return offered;
    });
}

bool FtpGetFileTime(HINTERNET connection, const std::string& fileName, rtl::FILETIME& lastWriteUtc) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpGetFileTime(*sftp, fileName, lastWriteUtc);
    return Guarded<bool>(false, [&] {
        detail::RequireCommandSafe(fileName);
        auto handle = detail::UsableFtpConnection(connection);
        if (!handle->session->HasFeature("MDTM")) throw Failure(ERROR_NOT_SUPPORTED, "the server does not offer MDTM");
        std::string reply;
        const int status = handle->session->Command("MDTM", fileName, reply);
        if (status / 100 != 2) detail::ThrowServerRefusal(status, reply);
        const std::optional<rtl::FILETIME> time = ParseMdtmReply(reply);
        if (!time) throw Failure(ERROR_NOT_SUPPORTED, "unreadable MDTM reply: " + reply);
        lastWriteUtc = *time;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace zandrel::inet
