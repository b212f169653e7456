#pragma once
// The Internet API as the transfer component sees it: WinINet-shaped handles (root, connection,
// find, file) with boolean or null results and a thread-local last error, implemented over POCO.
//
// Every call returns at once on failure with GetLastError() telling why; nothing here throws.
// A handle and its children are used by one thread at a time (the UI thread); handles are plain
// numbers looked up in a table, so a closed or never-opened handle is refused with
// ERROR_INVALID_HANDLE instead of touching freed memory.
//
// Blocking waits (connect, server replies, data) are bounded by the handle's timeouts and run in
// short slices; between slices the calling thread's idle hook runs (see SetIdleHook), so a UI
// stays responsive and a Cancel reaches a stalled read or write within a fraction of a second.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/DateTime.h"

namespace zandrel::inet {

using DWORD = uint32_t;
using DWORD_PTR = uintptr_t;
using INTERNET_PORT = uint16_t;

struct InternetHandleOpaque;
// Never dereferenced: a key into the handle table. Null means "no handle".
using HINTERNET = InternetHandleOpaque*;

// InternetOpen access types.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0; // proxy from ftp_proxy/http_proxy/no_proxy
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

// InternetConnect services and ports.
inline constexpr DWORD INTERNET_SERVICE_FTP = 1;
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;
inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0; // the service's default port
inline constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;

// Flags.
inline constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000; // accepted; listings are never cached
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 1;
inline constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 2;

// Find-record attributes.
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// Options (milliseconds). Set on the root they become the defaults of later connections; set on
// a connection they apply to that connection from its next wait on.
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr DWORD kDefaultTimeoutMs = 30000;

// Error codes: the system's and WinINet's numbers.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NO_MORE_FILES = 18;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_USER_NAME = 12013;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
inline constexpr DWORD ERROR_FTP_DROPPED = 12111;
inline constexpr DWORD ERROR_FTP_NO_PASSIVE_MODE = 12112;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;

// One directory entry. Sizes come in WinINet's two halves; FileSize() joins them. The last-write
// time is UTC as far as the server says so (MLSD); a LIST line's time is taken as written.
struct WIN32_FIND_DATA {
    DWORD dwFileAttributes = 0;
    rtl::FILETIME ftCreationTime;
    rtl::FILETIME ftLastAccessTime;
    rtl::FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    std::string cFileName;

    uint64_t FileSize() const { return (uint64_t{nFileSizeHigh} << 32) | nFileSizeLow; }
};

// ---- root handle -------------------------------------------------------------------------------
// accessType: INTERNET_OPEN_TYPE_PROXY with `proxy` ("host:port" or "ftp=host:port http=...") and
// `proxyBypass`, or PRECONFIG (the proxy environment variables), or DIRECT. The proxy is recorded
// on the root for HTTP; FTP connections always go direct (the FTP client cannot tunnel).
HINTERNET InternetOpen(const std::string& agent, DWORD accessType, const std::string& proxy,
                       const std::string& proxyBypass, DWORD flags);

// Timeouts (see the option constants). False with ERROR_INTERNET_INVALID_OPTION for others.
bool InternetSetOption(HINTERNET handle, DWORD option, DWORD value);
bool InternetQueryOption(HINTERNET handle, DWORD option, DWORD& value);

// ---- connections ---------------------------------------------------------------------------------
// For INTERNET_SERVICE_FTP this connects and logs in; an empty user name logs in anonymously.
// Active mode unless flags hold INTERNET_FLAG_PASSIVE. Service HTTP is not available yet and
// answers null with ERROR_NOT_SUPPORTED.
HINTERNET InternetConnect(HINTERNET root, const std::string& serverName, INTERNET_PORT port,
                          const std::string& userName, const std::string& password, DWORD service,
                          DWORD flags, DWORD_PTR context);

// Cheap and without network traffic: false once the handle is closed, after a timeout or a lost
// session, or when the server has closed (or is closing) the control connection.
bool IsConnectionAlive(HINTERNET connection);

// ---- FTP commands --------------------------------------------------------------------------------
bool FtpGetCurrentDirectory(HINTERNET connection, std::string& directory);
bool FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory);
bool FtpCreateDirectory(HINTERNET connection, const std::string& directory);
bool FtpDeleteFile(HINTERNET connection, const std::string& fileName);

// Lists the directory part of `searchFile` (up to its last "/"; none: the current directory) and
// keeps the entries whose names match its last part (`*` any run, `?` one character, case as
// written; empty, "*" or "*.*": every entry). The mask never goes to the server. Null with
// ERROR_NO_MORE_FILES when nothing matches. Flags are accepted and ignored (no cache).
HINTERNET FtpFindFirstFile(HINTERNET connection, const std::string& searchFile,
                           WIN32_FIND_DATA& findData, DWORD flags, DWORD_PTR context);
// False with ERROR_NO_MORE_FILES after the last entry.
bool InternetFindNextFile(HINTERNET find, WIN32_FIND_DATA& findData);

// Starts RETR (GENERIC_READ) or STOR (GENERIC_WRITE). One file handle per connection at a time;
// other commands on the connection fail with ERROR_FTP_TRANSFER_IN_PROGRESS until it is closed.
HINTERNET FtpOpenFile(HINTERNET connection, const std::string& fileName, DWORD access, DWORD flags,
                      DWORD_PTR context);
// The size of a file opened for reading: low 32 bits, the high part through `sizeHigh` when given.
// 0 with a last error when the server did not tell the size.
DWORD FtpGetFileSize(HINTERNET file, DWORD* sizeHigh);
bool FtpGetFileSize64(HINTERNET file, uint64_t& size);

// Reads up to `toRead` bytes; true with `read` = 0 at the end of a complete transfer. A transfer
// the server reports as failed ends in false with ERROR_INTERNET_EXTENDED_ERROR.
bool InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD& read);
// Sends all `toWrite` bytes (written = toWrite) or fails.
bool InternetWriteFile(HINTERNET file, const void* buffer, DWORD toWrite, DWORD& written);

// Closes any handle and all of its children. Closing a file handle ends its transfer: a write is
// completed (false when the server does not confirm the file), an unfinished read is stopped.
bool InternetCloseHandle(HINTERNET handle);

// ---- errors --------------------------------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD code);
// The server's last reply on this thread (set with ERROR_INTERNET_EXTENDED_ERROR and after
// commands); `error` is the reply's status code.
bool InternetGetLastResponseInfo(DWORD& error, std::string& text);
// The layer's English text for one of its codes, ending in "\r\n" as a message table's texts do;
// empty for a code it does not know.
std::string InternetErrorMessage(DWORD code);

// ---- responsiveness ------------------------------------------------------------------------------
// Runs between the wait slices of this thread. It should process pending UI messages and return
// false once the user has cancelled; a data read or write then fails with
// ERROR_INTERNET_OPERATION_CANCELLED. Commands and connects call it for responsiveness only.
// Returns the previous hook.
using IdleHook = std::function<bool()>;
IdleHook SetIdleHook(IdleHook hook);

} // namespace zandrel::inet
