#pragma once
// The Internet API as the transfer component sees it: WinINet-shaped handles (root, connection,
// find, file) with boolean or null results and a thread-local last error, implemented over POCO.
//
// Every call returns at once on failure with GetLastError() telling why; nothing here throws.
// A handle and its children are used by one thread at a time (the UI thread); handles are plain
// numbers looked up in a table, so a closed or never-opened handle is refused with
// ERROR_INVALID_HANDLE instead of touching freed memory.
//
// Blocking waits (connect, server replies, data) are bounded by the handle's timeouts, and the
// calling thread's idle hook runs at least every 50 ms meanwhile (see SetIdleHook), so a UI stays
// responsive and a Cancel stops any call within a fraction of a second.
//
// Every server reply is bounded: a line at most 8 KiB, the whole reply (all its lines) at most
// 64 KiB, and the whole reply must arrive within the receive timeout, however it trickles in.
// Beyond the size bounds the call fails with ERROR_INTERNET_CONNECTION_ABORTED, beyond the time
// with ERROR_INTERNET_TIMEOUT; text that is not a reply gives ERROR_FTP_DROPPED. In each case
// the session is discarded (its replies can no longer be trusted to be in step): later calls on
// the connection fail with ERROR_FTP_DROPPED and IsConnectionAlive says false.
//
// Why a call failed, in words: InternetLastFailureReason().
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/rtl/DateTime.h"
#include "platform/ssh/Sftp.h"

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
inline constexpr INTERNET_PORT INTERNET_DEFAULT_SFTP_PORT = 22;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_FTPS_PORT = 990; // FTP over TLS from the first byte
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// HttpQueryInfo levels and modifiers.
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_LAST_MODIFIED = 11;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr DWORD HTTP_QUERY_LOCATION = 33;
inline constexpr DWORD HTTP_QUERY_CONTENT_DISPOSITION = 47;
inline constexpr DWORD HTTP_QUERY_HOST = 55;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;
inline constexpr DWORD HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;
inline constexpr DWORD HTTP_QUERY_FLAG_REQUEST_HEADERS = 0x80000000;

// Flags.
inline constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000; // accepted; nothing is ever cached
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000; // accepted; nothing is cached
inline constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000; // accepted; HTTP always keeps alive
inline constexpr DWORD HSR_INITIATE = 8;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000; // HttpOpenRequest: https
// InternetConnect with INTERNET_SERVICE_FTP: the SSH file transfer protocol instead of FTP (see
// InternetConnect). Ours, not WinINet's.
inline constexpr DWORD INTERNET_FLAG_SFTP = 0x00008000;
// InternetConnect with INTERNET_SERVICE_FTP: FTP over TLS (see InternetConnect). Ours, not
// WinINet's, which has no FTPS; at most one of the two.
inline constexpr DWORD INTERNET_FLAG_FTPS_EXPLICIT = 0x00001000; // AUTH TLS on the FTP port
inline constexpr DWORD INTERNET_FLAG_FTPS_IMPLICIT = 0x00002000; // TLS from the first byte (port 990)
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
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
inline constexpr DWORD ERROR_FTP_DROPPED = 12111;
inline constexpr DWORD ERROR_FTP_NO_PASSIVE_MODE = 12112;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;

// One directory entry. Sizes come in WinINet's two halves; FileSize() joins them.
//
// ftLastWriteTime and exactTime: an MLSD listing gives the time to the second (or finer) in UTC,
// and exactTime is true. A LIST line's time is taken as written, and exactTime is false, because
// it is an approximation: no seconds ever, no time of day at all for entries older than about
// six months (midnight then), and the server's own time zone, which the client cannot know.
// Callers that compare dates (copy-newer-only) must not trust an inexact time to the minute;
// they should ask FtpGetFileTime (MDTM) for the file instead, where the server offers it.
//
// cFileName holds the name's bytes as the server sent them: trailing spaces are kept, and bytes
// that are not UTF-8 pass through untouched, so the name can be handed back to the server as is.
//
// Only directories and regular files (and links, which the server resolves when they are opened)
// are reported. Device entries (block and character devices, pipes, sockets; MLSD types other
// than file, dir and OS.unix=symlink) are left out of the results, so they are never taken for
// a file to download.
struct WIN32_FIND_DATA {
    DWORD dwFileAttributes = 0;
    rtl::FILETIME ftCreationTime;
    rtl::FILETIME ftLastAccessTime;
    rtl::FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh = 0;
    DWORD nFileSizeLow = 0;
    std::string cFileName;
    bool exactTime = false; // ftLastWriteTime is a full-precision UTC time (see above)
    // A symbolic link, reported as a file: whether it leads to a file or a folder, only the server
    // can tell (a CWD into it succeeds for a folder).
    bool isLink = false;

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
// Active mode unless flags hold INTERNET_FLAG_PASSIVE.
//
// FTP over TLS, chosen here and then transparent to every FTP call below (commands, listings,
// facts, file transfers, Cancel, IsConnectionAlive):
//   INTERNET_FLAG_FTPS_EXPLICIT: after the greeting "AUTH TLS" (234), the handshake, the login,
//     then "PBSZ 0" and "PROT P".
//   INTERNET_FLAG_FTPS_IMPLICIT: the handshake right after connecting (port 990 when the port is
//     INTERNET_INVALID_PORT_NUMBER), then the greeting, the login, "PBSZ 0" and "PROT P".
// The server's certificate is checked as for https (the system's CA store, SSL_CERT_FILE and
// SSL_CERT_DIR honoured, the name as given in serverName), TLS 1.2 at least. Every data
// connection, passive or active, is protected and resumes the control connection's TLS session
// (servers may insist, as vsftpd does); we are the TLS client on it in either mode. There is no
// fallback to clear text: a server that refuses AUTH TLS fails the connect with
// ERROR_INTERNET_SECURITY_CHANNEL_ERROR and its reply as the reason (InternetGetLastResponseInfo
// has it too) before anything else is sent; so does one that refuses PBSZ or PROT (those come
// after the login, which TLS already protects). A certificate that is not trusted or not for the
// name fails with ERROR_INTERNET_SEC_CERT_ERRORS before the login, a failed handshake with
// ERROR_INTERNET_SECURITY_CHANNEL_ERROR and the TLS library's reason; the handshakes (the
// control connection's and each data connection's) are waited for within the receive timeout,
// sliced for the idle hook, so a Cancel stops them too. Both flags at once:
// ERROR_INVALID_PARAMETER. Without them, plain FTP exactly as ever.
//
// For INTERNET_SERVICE_HTTP nothing is sent yet: the server is reached by the first request (see
// HttpOpenRequest); user and password given here are sent as Basic credentials.
HINTERNET InternetConnect(HINTERNET root, const std::string& serverName, INTERNET_PORT port,
                          const std::string& userName, const std::string& password, DWORD service,
                          DWORD flags, DWORD_PTR context);

// Cheap and without network traffic: false once the handle is closed, after a timeout or a lost
// session, or when the server has closed (or is closing) the control connection.
bool IsConnectionAlive(HINTERNET connection);

// INTERNET_FLAG_SFTP (with INTERNET_SERVICE_FTP): an SSH connection to `port` (22 when
// INTERNET_INVALID_PORT_NUMBER) whose host key is checked against ~/.ssh/known_hosts and
// /etc/ssh/ssh_known_hosts as OpenSSH checks it, a login (the ssh-agent's keys, then the key file
// of the thread's SshLogin or ~/.ssh/id_ed25519, id_ecdsa, id_rsa, then the password), and the
// SFTP subsystem. Every FTP call below then works over it, with these differences: entries and
// file times are exact to the second; a rename never replaces an existing file (it fails as a
// refusal would); a refusal records a reply of 550 followed by the server's words; the timeouts
// are the root's at the time of the connect. A changed host key fails with
// ERROR_INTERNET_SEC_CERT_ERRORS naming the known-hosts file and line; an unknown one is put to
// the thread's SshLogin.askHostKey, and without one fails the same way with a reason that says how
// to add the key. A refused login fails with ERROR_INTERNET_LOGIN_FAILURE naming the methods
// tried; libssh missing fails with ERROR_INTERNET_INTERNAL_ERROR saying what to install.

// ---- HTTP ------------------------------------------------------------------------------------------
// HTTP/1.1 over plain TCP or TLS (https: the system's CA store, which SSL_CERT_FILE and
// SSL_CERT_DIR override, and the server's name checked against its certificate). Requests go
// through the root's proxy (absolute URLs for http, a CONNECT tunnel for https) unless the host
// is in the bypass list; `user:password@` in a URL is sent as Basic credentials, to the proxy
// when one is used, else to the server. Connections whose responses were read to their end are
// kept and reused by later requests of the same root to the same server.
//
// Bounds: a response head at most 64 KiB (lines 8 KiB), every wait within the timeouts and
// sliced for the idle hook as for FTP. CR, LF or NUL in a URL, a header value, a verb or a
// path fail with ERROR_INVALID_PARAMETER before anything is sent.

// GET `url` (http or https) with `headers` (lines ending in CRLF; a trailing empty line is
// ignored) and reads the response head. Redirects (301, 302, 303, 307, 308) are followed, at
// most 10, never from https to http (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR), and an
// Authorization header is not carried to another server. Any final status gives a handle:
// the caller reads it with HttpQueryInfo. Null when no response came (name, connection,
// timeout, TLS failure, Cancel).
HINTERNET InternetOpenUrl(HINTERNET root, const std::string& url, const std::string& headers, DWORD flags,
                          DWORD_PTR context);

// A request on an HTTP connection (InternetConnect with INTERNET_SERVICE_HTTP; the server
// name may carry ":port", which wins over the port argument). The server is reached here (or a
// kept connection to it taken over); null when it cannot be. Nothing is sent yet.
HINTERNET HttpOpenRequest(HINTERNET connection, const std::string& verb, const std::string& objectName,
                          const std::string& version, const std::string& referrer, DWORD flags,
                          DWORD_PTR context);
// Sends the request head announcing a body of `totalLength` bytes; the body then goes through
// InternetWriteFile, which refuses bytes beyond that length. A body of 1 MiB or more is announced
// with "Expect: 100-continue" (up to a second's wait for the server's word). A server that
// answers before it has the whole body (a final answer instead of 100 Continue, or an answer
// and a closed connection while the body goes out) fails this call, InternetWriteFile or
// HttpEndRequest with ERROR_INTERNET_CONNECTION_ABORTED, and HttpQueryInfo then reports its answer.
bool HttpSendRequestEx(HINTERNET request, uint64_t totalLength, DWORD flags, DWORD_PTR context);
// Ends the body and reads the response head. False with ERROR_INTERNET_CONNECTION_ABORTED when
// fewer bytes than announced were written (the server never sees a complete request then).
bool HttpEndRequest(HINTERNET request, DWORD flags, DWORD_PTR context);

// HTTP_QUERY_STATUS_CODE | FLAG_NUMBER, HTTP_QUERY_CONTENT_LENGTH | FLAG_NUMBER: a number (the
// 32-bit form fails with ERROR_INVALID_PARAMETER above 4 GiB - 1; use the 64-bit form).
// HTTP_QUERY_LAST_MODIFIED | FLAG_SYSTEMTIME: the time in UTC. Without a modifier: the text
// (STATUS_TEXT, CONTENT_DISPOSITION; LOCATION made absolute against the request's URL).
// HTTP_QUERY_HOST | FLAG_REQUEST_HEADERS: the Host the request went to, after any redirects
// ("server" or "server:port"): the server that gave the answer. A
// missing or unreadable header fails with ERROR_HTTP_HEADER_NOT_FOUND and leaves the value as it
// was.
bool HttpQueryInfo(HINTERNET request, DWORD infoLevel, DWORD& value);
bool HttpQueryInfo64(HINTERNET request, DWORD infoLevel, uint64_t& value);
bool HttpQueryInfo(HINTERNET request, DWORD infoLevel, rtl::SYSTEMTIME& value);
bool HttpQueryInfoText(HINTERNET request, DWORD infoLevel, std::string& value);

// ---- FTP commands --------------------------------------------------------------------------------
bool FtpGetCurrentDirectory(HINTERNET connection, std::string& directory);
bool FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory);
bool FtpCreateDirectory(HINTERNET connection, const std::string& directory);
bool FtpRemoveDirectory(HINTERNET connection, const std::string& directory); // RMD: an empty one
bool FtpDeleteFile(HINTERNET connection, const std::string& fileName);

// RNFR `existing`, then RNTO `newName` (both relative to the current directory or absolute).
// True once the server has confirmed the rename. False with ERROR_INTERNET_EXTENDED_ERROR and
// the refusing reply recorded (InternetGetLastResponseInfo, InternetLastFailureReason) when the
// server refuses either step; the connection stays usable then. Whether an existing `newName`
// is replaced is the server's choice (most Unix servers replace it).
bool FtpRenameFile(HINTERNET connection, const std::string& existing, const std::string& newName);

// Whether the server's FEAT reply lists `feature` (first word of a feature line, any case:
// "MDTM", "SIZE", "MLST", "REST", "UTF8" ...). "MLSD" counts as listed when MLST is, because
// servers announce both through MLST. FEAT is asked once per connection and the answer cached;
// a server that refuses FEAT offers nothing.
// False with ERROR_SUCCESS when the feature is not offered; false with another error (and the
// reason set) when FEAT could not be asked, e.g. because the connection is gone.
bool FtpHasFeature(HINTERNET connection, const std::string& feature);

// The last-write time of `fileName` from MDTM, in UTC and with every digit the server gives
// (seconds always, fractions when sent). Asked only when FEAT lists MDTM; otherwise false with
// ERROR_NOT_SUPPORTED and nothing sent, so callers fall back to the listing's time. A reply
// that is not a readable time also gives ERROR_NOT_SUPPORTED. A refusal (typically 550: no such
// file, or a directory) gives ERROR_INTERNET_EXTENDED_ERROR with the reply recorded.
bool FtpGetFileTime(HINTERNET connection, const std::string& fileName, rtl::FILETIME& lastWriteUtc);

// What the server says about one file by name: MLST where the server offers it (the size, the
// modify time and, where given, the "unique" fact, which a rename keeps), else SIZE and MDTM,
// whichever it offers. True with exists = false when the server answers that there is no such
// file (550 or 450). A directory shows through MLST only; SIZE and MDTM call it missing.
// False with ERROR_NOT_SUPPORTED when the server offers none of the three, and with
// ERROR_INTERNET_EXTENDED_ERROR and the reply recorded on another refusal.
struct FtpFileFacts {
    bool exists = false;
    bool directory = false;
    std::optional<uint64_t> size;
    std::string modified; // as the server wrote it ("20240115103000"); empty when not told
    std::string unique;   // MLST's "unique" fact; empty when not told

    // The same file as far as the server tells: every fact both sides have agrees.
    bool SameFileAs(const FtpFileFacts& other) const {
        return exists && other.exists && size == other.size && modified == other.modified &&
               (unique.empty() || other.unique.empty() || unique == other.unique);
    }
};
bool FtpGetFileFacts(HINTERNET connection, const std::string& fileName, FtpFileFacts& facts);

// Lists the directory part of `searchFile` (up to its last "/"; none: the current directory) and
// keeps the entries whose names match its last part (`*` any run, `?` one character, case as
// written; empty, "*" or "*.*": every entry). The mask never goes to the server. Flags are
// accepted and ignored (no cache). MLSD is used where the server offers it, LIST otherwise.
//
// Null with ERROR_NO_MORE_FILES only when the listing arrived whole and nothing in it matched.
// A listing that did not arrive whole is a failure, never an empty directory: a refusal or a
// failed transfer reply (450, 451, 425, 426, 550 for a folder that does not exist) gives
// ERROR_INTERNET_EXTENDED_ERROR with the reply recorded, and so does an empty listing whose 226
// says the folder could not be opened (vsftpd's "failed to open directory" for a folder it may
// not read); a data connection that broke gives ERROR_INTERNET_CONNECTION_ABORTED; a listing beyond the layer's bounds (lines over 64 KiB,
// more than 1,000,000 entries or 256 MiB) gives ERROR_INTERNET_CONNECTION_ABORTED and the
// session is discarded. The reason is set in each case.
HINTERNET FtpFindFirstFile(HINTERNET connection, const std::string& searchFile,
                           WIN32_FIND_DATA& findData, DWORD flags, DWORD_PTR context);
// False with ERROR_NO_MORE_FILES after the last entry.
bool InternetFindNextFile(HINTERNET find, WIN32_FIND_DATA& findData);

// Starts RETR (GENERIC_READ) or STOR (GENERIC_WRITE). One file handle per connection at a time;
// other commands on the connection fail with ERROR_FTP_TRANSFER_IN_PROGRESS until it is closed.
HINTERNET FtpOpenFile(HINTERNET connection, const std::string& fileName, DWORD access, DWORD flags,
                      DWORD_PTR context);
// The size of a file opened for reading: low 32 bits, the high part through `sizeHigh` when given.
// The size is the SIZE reply's when that is a plain non-negative number ("213 1234"), else the
// one the 150 reply announces ("... (1234 bytes)."), else unknown. Sizes are 64-bit throughout.
// FtpGetFileSize returns 0 for an unknown size (with a last error); FtpGetFileSize64 returns
// false with ERROR_INTERNET_EXTENDED_ERROR then.
DWORD FtpGetFileSize(HINTERNET file, DWORD* sizeHigh);
bool FtpGetFileSize64(HINTERNET file, uint64_t& size);

// Reads up to `toRead` bytes; true with `read` = 0 at the end of a complete transfer. For an
// HTTP request: the response body; a body that ends short of its Content-Length (or a chunked
// body without its last chunk) fails with ERROR_INTERNET_CONNECTION_ABORTED. A transfer
// the server reports as failed ends in false with ERROR_INTERNET_EXTENDED_ERROR. A binary
// download whose data ends short of the size the server announced (the 150 reply's, else the
// SIZE reply's) ends in false with ERROR_INTERNET_CONNECTION_ABORTED, even when the server calls
// the transfer complete; a broken data connection gives the same error.
bool InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD& read);
// Sends all `toWrite` bytes (written = toWrite) or fails.
bool InternetWriteFile(HINTERNET file, const void* buffer, DWORD toWrite, DWORD& written);

// Closes any handle and all of its children. Closing a file handle ends its transfer: a write is
// completed (false when the server does not confirm the file; ERROR_INTERNET_OPERATION_CANCELLED
// after a cancelled write), an unfinished read is stopped. A successful close sets the last
// error to ERROR_SUCCESS (the failure reason stays): read GetLastError before closing.
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
// Why this thread's last failing call failed, in words a person can act on: the server's reply
// ("530 Login incorrect."), the system error ("Connection refused"), the timeout ("no answer
// within 30 s"), "cancelled", or a bound the server broke ("reply longer than 64 KiB"). One
// line, control characters replaced, at most 512 bytes. Every failing call of this layer sets
// it; successful calls leave it as it was, so read it right after the failure.
std::string InternetLastFailureReason();
// Replaces that reason (the error code stays), for a caller that knows more about the failure
// than the last call did: which of two refused commands mattered. Made one line as above.
void InternetSetLastFailureReason(const std::string& reason);

// ---- responsiveness ------------------------------------------------------------------------------
// Runs while this thread waits in the layer, at least every 50 ms of a wait and of a transfer,
// however the server trickles its bytes. It should process pending UI messages and return false
// once the user has cancelled. Every wait honours that at once (connect, greeting, login,
// commands and their replies, listings, data reads and writes, closing replies): the session is
// discarded, so nothing can get out of step, and the call fails with
// ERROR_INTERNET_OPERATION_CANCELLED (reason "cancelled"). The connection handle then only
// closes. One exception: a cancelled data write keeps the session until its file handle is
// closed; closing it ends the file on the server, and when the hook lets that closing reply be
// waited for (returns true again), the connection stays usable, so the partial upload can be
// deleted over it. A caller that has to clean up after a Cancel (say, delete a partial upload)
// installs a hook that returns true for that work; the timeouts still bound it.
// Returns the previous hook.
using IdleHook = std::function<bool()>;
IdleHook SetIdleHook(IdleHook hook);

// What the SFTP connects of this thread use besides the user and the password: the private key
// file to try, and whom to ask about an unknown host key and an encrypted key's passphrase (both
// optional: see INTERNET_FLAG_SFTP). Returns the previous one.
struct SshLogin {
    std::string keyFile;
    std::function<ssh::HostKeyAnswer(const ssh::HostKeyQuestion&)> askHostKey;
    std::function<bool(const ssh::PassphraseQuestion&, std::string& passphrase)> askPassphrase;
};
SshLogin SetSshLogin(SshLogin login);

} // namespace zandrel::inet
