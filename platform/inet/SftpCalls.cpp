#include "platform/inet/SftpCalls.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/inet/ListingParser.h"
#include "platform/rtl/DateTime.h"

namespace zandrel::inet {
namespace {

using detail::ConnectionHandle;
using detail::Failure;
using detail::FileHandle;
using detail::HandleKind;

thread_local SshLogin tlsLogin;

// The server's own answer about a file or folder: recorded as a 550 reply, as an FTP server's
// refusal would be, so that callers tell "not there" or "not allowed" from a broken connection
// the same way over both.
[[noreturn]] void ThrowRefusal(const std::string& reason) { detail::ThrowServerRefusal(550, "550 " + reason); }

[[noreturn]] void ThrowAsFailure(const ssh::SshError& error) {
    const std::string reason = error.what();
    switch (error.Kind()) {
    case ssh::SshErrorKind::NoSuchFile:
    case ssh::SshErrorKind::PermissionDenied:
    case ssh::SshErrorKind::AlreadyExists:
    case ssh::SshErrorKind::Failed: ThrowRefusal(reason);
    case ssh::SshErrorKind::Cancelled: throw Failure(ERROR_INTERNET_OPERATION_CANCELLED, "cancelled");
    case ssh::SshErrorKind::TimedOut: throw Failure(ERROR_INTERNET_TIMEOUT, reason);
    case ssh::SshErrorKind::CannotConnect: throw Failure(ERROR_INTERNET_CANNOT_CONNECT, reason);
    case ssh::SshErrorKind::NameNotResolved: throw Failure(ERROR_INTERNET_NAME_NOT_RESOLVED, reason);
    case ssh::SshErrorKind::HostKeyUnknown:
    case ssh::SshErrorKind::HostKeyChanged:
    case ssh::SshErrorKind::HostKeyRejected: throw Failure(ERROR_INTERNET_SEC_CERT_ERRORS, reason);
    case ssh::SshErrorKind::LoginRefused: throw Failure(ERROR_INTERNET_LOGIN_FAILURE, reason);
    case ssh::SshErrorKind::InvalidArgument: throw Failure(ERROR_INVALID_PARAMETER, reason);
    case ssh::SshErrorKind::ConnectionLost: throw Failure(ERROR_FTP_DROPPED, reason);
    case ssh::SshErrorKind::Truncated: throw Failure(ERROR_INTERNET_CONNECTION_ABORTED, reason);
    case ssh::SshErrorKind::LibraryMissing: break;
    }
    throw Failure(ERROR_INTERNET_INTERNAL_ERROR, reason);
}

// Runs one call of the session, its errors turned into this layer's.
template <class Body>
auto Ssh(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const ssh::SshError& error) {
        ThrowAsFailure(error);
    }
}

// The session of a connection that may take a call now.
ssh::SftpSession& Usable(ConnectionHandle& connection) {
    if (connection.transferOpen) throw Failure(ERROR_FTP_TRANSFER_IN_PROGRESS);
    if (!connection.sftp->Alive()) throw Failure(ERROR_FTP_DROPPED, "the SFTP session has ended");
    return *connection.sftp;
}

template <class Body>
bool Call(ConnectionHandle& connection, Body&& body) {
    return detail::Guarded<bool>(false, [&] {
        ssh::SftpSession& session = Usable(connection);
        Ssh([&] { body(session); });
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

WIN32_FIND_DATA FindDataOf(const ssh::Entry& entry) {
    WIN32_FIND_DATA data;
    data.cFileName = entry.name;
    data.dwFileAttributes = entry.type == ssh::EntryType::Directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data.isLink = entry.type == ssh::EntryType::Link;
    data.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.size);
    if (entry.modified) {
        data.ftLastWriteTime = rtl::UnixToFileTime(*entry.modified);
        data.exactTime = true;
    }
    return data;
}

// "20240115103000", as MLST and MDTM write a time.
std::string FactTime(int64_t unixSeconds) {
    rtl::SYSTEMTIME st;
    rtl::FileTimeToSystemTime(rtl::UnixToFileTime(unixSeconds), st);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
    return text;
}

} // namespace

SshLogin SetSshLogin(SshLogin login) { return std::exchange(tlsLogin, std::move(login)); }

namespace detail {

std::shared_ptr<ConnectionHandle> SftpConnectionOf(HINTERNET handle) {
    try {
        auto found = LookupHandle(handle);
        if (found->kind != HandleKind::Connection) return nullptr;
        auto connection = std::static_pointer_cast<ConnectionHandle>(found);
        return connection->sftp ? connection : nullptr;
    } catch (...) {
        return nullptr;
    }
}

std::shared_ptr<FileHandle> SftpFileOf(HINTERNET handle) {
    try {
        auto found = LookupHandle(handle);
        if (found->kind != HandleKind::File) return nullptr;
        auto file = std::static_pointer_cast<FileHandle>(found);
        return file->connection && file->connection->sftp ? file : nullptr;
    } catch (...) {
        return nullptr;
    }
}

HINTERNET SftpConnect(HINTERNET root, const Timeouts& timeouts, const std::string& serverName, INTERNET_PORT port,
                      const std::string& userName, const std::string& password, DWORD_PTR context) {
    ssh::SessionOptions options;
    options.host = serverName;
    options.port = port == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_SFTP_PORT : port;
    options.user = userName;
    options.password = password;
    options.keyFile = tlsLogin.keyFile;
    // One bound for every wait of the session: the longest the root allows for any of them.
    options.timeout = std::max({timeouts.connect, timeouts.send, timeouts.receive});
    options.keepGoing = [] { return !CancelRequested(); };
    options.askHostKey = tlsLogin.askHostKey;
    options.askPassphrase = tlsLogin.askPassphrase;
    auto connection = std::make_shared<ConnectionHandle>();
    connection->context = context;
    connection->service = INTERNET_SERVICE_FTP;
    connection->sftp = Ssh([&] { return std::make_unique<ssh::SftpSession>(std::move(options)); });
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::move(connection), root);
}

bool SftpGetCurrentDirectory(ConnectionHandle& connection, std::string& directory) {
    return Call(connection, [&](ssh::SftpSession& session) { directory = session.CurrentDirectory(); });
}

bool SftpSetCurrentDirectory(ConnectionHandle& connection, const std::string& directory) {
    return Call(connection, [&](ssh::SftpSession& session) { session.ChangeDirectory(directory); });
}

bool SftpCreateDirectory(ConnectionHandle& connection, const std::string& directory) {
    return Call(connection, [&](ssh::SftpSession& session) { session.MakeDirectory(directory); });
}

bool SftpRemoveDirectory(ConnectionHandle& connection, const std::string& directory) {
    return Call(connection, [&](ssh::SftpSession& session) { session.RemoveDirectory(directory); });
}

bool SftpDeleteFile(ConnectionHandle& connection, const std::string& fileName) {
    return Call(connection, [&](ssh::SftpSession& session) { session.Remove(fileName); });
}

bool SftpRenameFile(ConnectionHandle& connection, const std::string& existing, const std::string& newName) {
    return Call(connection, [&](ssh::SftpSession& session) { session.Rename(existing, newName); });
}

bool SftpGetFileTime(ConnectionHandle& connection, const std::string& fileName, rtl::FILETIME& lastWriteUtc) {
    return Call(connection, [&](ssh::SftpSession& session) {
        const ssh::Entry entry = session.Stat(fileName);
        if (!entry.modified) throw Failure(ERROR_NOT_SUPPORTED, "the server tells no time for " + fileName);
        lastWriteUtc = rtl::UnixToFileTime(*entry.modified);
    });
}

bool SftpGetFileFacts(ConnectionHandle& connection, const std::string& fileName, FtpFileFacts& facts) {
    return Call(connection, [&](ssh::SftpSession& session) {
        facts = FtpFileFacts{};
        const std::optional<ssh::Entry> entry = session.TryStat(fileName);
        if (!entry) return;
        facts.exists = true;
        facts.directory = entry->type == ssh::EntryType::Directory;
        facts.size = entry->size;
        if (entry->modified) facts.modified = FactTime(*entry->modified);
    });
}

HINTERNET SftpFindFirstFile(HINTERNET connection, const std::shared_ptr<ConnectionHandle>& handle,
                            const std::string& searchFile, WIN32_FIND_DATA& findData, DWORD_PTR context) {
    return Guarded<HINTERNET>(nullptr, [&] {
        ssh::SftpSession& session = Usable(*handle);
        const size_t slash = searchFile.rfind('/');
        const std::string directory = slash == std::string::npos ? std::string(".") : searchFile.substr(0, slash + 1);
        const std::string mask = slash == std::string::npos ? searchFile : searchFile.substr(slash + 1);
        auto find = std::make_shared<FindHandle>();
        find->context = context;
        for (const ssh::Entry& entry : Ssh([&] { return session.List(directory); })) {
            // Only folders, files and links, as a listing over FTP gives them.
            if (entry.type == ssh::EntryType::Other || !MatchesFtpMask(entry.name, mask)) continue;
            find->entries.push_back(FindDataOf(entry));
        }
        if (find->entries.empty()) throw Failure(ERROR_NO_MORE_FILES);
        findData = find->entries.front();
        find->next = 1;
        SetLastError(ERROR_SUCCESS);
        return RegisterHandle(std::move(find), connection);
    });
}

HINTERNET SftpOpenFile(HINTERNET connection, const std::shared_ptr<ConnectionHandle>& handle,
                       const std::string& fileName, DWORD access, DWORD_PTR context) {
    return Guarded<HINTERNET>(nullptr, [&] {
        const bool reading = access == GENERIC_READ;
        if (!reading && access != GENERIC_WRITE) throw Failure(ERROR_INVALID_PARAMETER);
        ssh::SftpSession& session = Usable(*handle);
        auto file = std::make_shared<FileHandle>();
        file->context = context;
        file->connection = handle;
        file->writing = !reading;
        file->dataOpen = false; // no data connection: the SFTP file stands for it
        if (reading) {
            file->sftpReader = Ssh([&] { return session.OpenRead(fileName); });
            file->size = file->sftpReader->Size();
        } else {
            file->sftpWriter = Ssh([&] { return session.OpenWrite(fileName); });
        }
        handle->transferOpen = true;
        SetLastError(ERROR_SUCCESS);
        return RegisterHandle(std::move(file), connection);
    });
}

bool SftpReadFile(FileHandle& file, void* buffer, DWORD toRead, DWORD& read) {
    return Guarded<bool>(false, [&] {
        if (!file.sftpReader) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        read = static_cast<DWORD>(Ssh([&] { return file.sftpReader->Read(buffer, toRead); }));
        file.received += read;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool SftpWriteFile(FileHandle& file, const void* buffer, DWORD toWrite, DWORD& written) {
    return Guarded<bool>(false, [&] {
        if (!file.sftpWriter) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        Ssh([&] { file.sftpWriter->Write(buffer, toWrite); });
        written = toWrite;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool SftpCloseFile(FileHandle& file) {
    file.connection->transferOpen = false;
    if (file.finished) return true;
    file.finished = true;
    // A writer's close confirms the file; a reader's only ends the reading.
    Ssh([&] {
        if (file.sftpWriter) file.sftpWriter->Close();
        if (file.sftpReader) file.sftpReader->Close();
    });
    return true;
}

} // namespace detail
} // namespace zandrel::inet
