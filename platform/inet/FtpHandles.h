#pragma once
// The FTP kinds of handle: a connection owns the control session; a find owns the entries it
// listed; a file owns one data channel and the state of its transfer.
#include <Poco/Net/StreamSocket.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/inet/FtpSession.h"
#include "platform/inet/Handles.h"
#include "platform/ssh/Sftp.h"

namespace zandrel::inet::detail {

struct ConnectionHandle : Handle {
    ConnectionHandle() : Handle(HandleKind::Connection) {}
    bool Close() override;

    DWORD service = INTERNET_SERVICE_FTP;
    bool passive = false;
    std::unique_ptr<FtpSession> session;
    // Instead of `session`, for a connection made with INTERNET_FLAG_SFTP.
    std::unique_ptr<ssh::SftpSession> sftp;
    bool transferOpen = false; // a file handle of this connection is open

    // INTERNET_SERVICE_HTTP: where its requests go, and the credentials they carry.
    std::string server;
    INTERNET_PORT port = 0;
    std::string user, password;
};

struct FindHandle : Handle {
    FindHandle() : Handle(HandleKind::Find) {}
    std::vector<WIN32_FIND_DATA> entries;
    size_t next = 0;
};

struct FileHandle : Handle {
    FileHandle() : Handle(HandleKind::File) {}
    bool Close() override;

    std::shared_ptr<ConnectionHandle> connection;
    FtpLink data;
    // Instead of `data`, on an SFTP connection.
    std::unique_ptr<ssh::SftpReader> sftpReader;
    std::unique_ptr<ssh::SftpWriter> sftpWriter;
    bool writing = false;
    bool dataOpen = true;     // the data channel has not been closed yet
    bool finished = false;    // the transfer's final reply has been read
    bool interrupted = false; // a read or write was cancelled or failed half-way
    bool cancelled = false;   // ... and it was a Cancel
    bool binary = true;
    std::optional<uint64_t> size;      // SIZE's answer, else the 150 reply's
    std::optional<uint64_t> announced; // what the 150 reply said
    uint64_t received = 0;             // bytes read from the data connection so far
    // Callers move small blocks; the socket moves runs of this buffer's size, so a block costs no
    // system call of its own. Writing: the bytes collected for the next send. Reading: the bytes
    // received ahead of the caller, from `bufferPos` to `bufferEnd`.
    std::vector<char> buffer;
    size_t bufferPos = 0;
    size_t bufferEnd = 0;
};

// The connection behind `handle`, checked for the FTP service, a live session and no open
// transfer. Throws Failure otherwise.
std::shared_ptr<ConnectionHandle> UsableFtpConnection(HINTERNET handle);

} // namespace zandrel::inet::detail
