#pragma once
// An SFTP session over SSH, shaped for the FTP items: connect, check the server's host key the
// way OpenSSH does, log in, then name, list, stat, make, remove, rename, read and write files.
// Built on libssh, which is loaded the first time a session connects (LibsshLibrary.h).
//
// Every call either succeeds or throws SshError, whose kind tells a caller what to do and whose
// text says why in words a person can act on: the server's own status message with the operation
// and the path ("could not remove folder /a/b: Failure"), the system error ("Connection
// refused"), the timeout ("no answer within 30 s"), the host key problem with the file and line,
// or the login methods that were tried. No text ever holds a password, a passphrase or key
// material.
//
// Waits are bounded and cancellable. Connecting, the key exchange and the login run on the
// caller's thread without blocking, in slices of at most 50 ms, calling the options' keepGoing
// hook between them. File operations run on a thread of the session's own (libssh's SFTP calls
// block), while the caller waits in the same slices. When the timeout passes, the session's socket
// is shut down, which ends the blocked call at once, and the session is finished: every later
// call fails with SshErrorKind::ConnectionLost. When keepGoing says stop, the call fails with
// Cancelled; a call that ends on its own within 40 ms leaves the session usable (a partial upload
// can be closed and removed over it, with a hook that lets that work run), one that does not is
// cut like a timed-out one. Either way the call returns within 100 ms of the click.
//
// One thread uses a session at a time; the hook runs on that thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zandrel::ssh {

enum class SshErrorKind {
    LibraryMissing,   // libssh could not be loaded (the text says what to install)
    InvalidArgument,  // a path with a NUL byte, an empty host...
    CannotConnect,    // connection refused or unreachable, the key exchange failed
    NameNotResolved,  // the host name could not be resolved
    TimedOut,         // no answer within the timeout
    Cancelled,        // keepGoing returned false (or the question about the host key was cancelled)
    HostKeyUnknown,   // nobody to ask about a key not in known_hosts
    HostKeyChanged,   // the key differs from the one known for the host: never accepted
    HostKeyRejected,  // the user answered "cancel" to the host key question
    LoginRefused,     // every login method was refused
    NoSuchFile,       // the server says there is no such file or folder
    PermissionDenied, // the server says permission denied
    AlreadyExists,    // a target that must not exist does
    Failed,           // the server refused for another reason; its message is in the text
    ConnectionLost,   // the connection broke, or the session was cancelled or timed out before
    Truncated,        // a download ended before the size the file had when it was opened
};

class SshError : public std::runtime_error {
public:
    SshError(SshErrorKind kind, const std::string& reason) : std::runtime_error(reason), kind_(kind) {}
    SshErrorKind Kind() const { return kind_; }

private:
    SshErrorKind kind_;
};

// What the user is asked about a host key not found in either known_hosts file.
struct HostKeyQuestion {
    std::string host;         // as known_hosts names it: "example.org" or "[example.org]:2222"
    std::string keyType;      // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"...
    std::string fingerprint;  // "SHA256:..." as ssh-keygen -l shows it
    std::string knownHostsFile; // where "accept and remember" writes
};
enum class HostKeyAnswer { Cancel, AcceptOnce, AcceptAndRemember };

// An encrypted key file's passphrase is asked for. `attempt` counts from 1; later attempts follow
// a wrong passphrase.
struct PassphraseQuestion {
    std::string keyFile; // as shown to the user ("~/.ssh/id_ed25519")
    int attempt = 1;
};

struct SessionOptions {
    std::string host;
    uint16_t port = 22;
    std::string user;
    // Tried last, when the server offers password (or keyboard-interactive) logins; empty: none.
    std::string password;
    // A private key file to use instead of ~/.ssh/id_ed25519, id_ecdsa and id_rsa.
    std::string keyFile;
    // The known_hosts files; empty: ~/.ssh/known_hosts and /etc/ssh/ssh_known_hosts.
    std::string userKnownHosts;
    std::string globalKnownHosts;
    // The ciphers to offer, in libssh's list form ("aes128-gcm@openssh.com,chacha20-poly1305@openssh.com");
    // empty: libssh's defaults.
    std::string ciphers;
    // Bounds every connect, every answer the server owes and every block of a transfer.
    std::chrono::milliseconds timeout{30000};

    // Runs at least every 50 ms while a call waits; false cancels the call. Optional.
    std::function<bool()> keepGoing;
    // Asked when the host key is not known; without it such a host is refused with a reason
    // that says how to add its key.
    std::function<HostKeyAnswer(const HostKeyQuestion&)> askHostKey;
    // Asked for an encrypted key's passphrase: fill `passphrase` and return true, or return false
    // to skip the key. The string is wiped once used and never kept.
    std::function<bool(const PassphraseQuestion&, std::string& passphrase)> askPassphrase;
};

enum class EntryType { File, Directory, Link, Other };

struct Entry {
    std::string name; // the bytes the server sent
    EntryType type = EntryType::Other;
    uint64_t size = 0;
    std::optional<int64_t> modified; // seconds since 1970 (UTC), when the server tells
};

class SftpSession;

// A remote file opened for reading: Read gives blocks until it returns 0 at the end. Several
// requests are kept in flight, so a download runs at the link's speed rather than one round trip
// per block. Read fails with SshErrorKind::Truncated when the file ends before the size it had
// when it was opened.
class SftpReader {
public:
    ~SftpReader(); // closes, waiting only within the timeout
    SftpReader(const SftpReader&) = delete;
    SftpReader& operator=(const SftpReader&) = delete;

    uint64_t Size() const;
    // Up to `size` bytes; 0 at the end (and for a `size` of 0, which reads nothing).
    size_t Read(void* buffer, size_t size);
    void Close();

private:
    friend class SftpSession;
    struct State;
    explicit SftpReader(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

// A remote file opened for writing (created or truncated). Writes go out in blocks of
// WriteBlockSize() with up to 1.5 MiB in flight, so an upload is not held to one round trip per
// block; a write the server refuses is reported by a later Write or by Close. Close confirms the
// file: nothing is known to be written until Close returned.
//
// A reader and a writer (and other calls) may be used on one session in turn; each call first
// takes in what the other still has in flight, which costs a download the reads it had asked
// for ahead (they are asked again).
class SftpWriter {
public:
    ~SftpWriter(); // closes without reporting; call Close to know the outcome
    SftpWriter(const SftpWriter&) = delete;
    SftpWriter& operator=(const SftpWriter&) = delete;

    void Write(const void* data, size_t size);
    void Close();

private:
    friend class SftpSession;
    struct State;
    explicit SftpWriter(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

class SftpSession {
public:
    // Connects, checks the host key, logs in and starts the SFTP subsystem.
    explicit SftpSession(SessionOptions options);
    ~SftpSession();
    SftpSession(const SftpSession&) = delete;
    SftpSession& operator=(const SftpSession&) = delete;

    // Paths are the server's: absolute, or relative to the current directory, which starts as
    // the login's home directory. An empty path stands for the current directory where a call
    // only looks (RealPath, Stat, TryStat, List); calls that change something refuse it.
    const std::string& HomeDirectory() const;
    const std::string& CurrentDirectory() const;
    // Changes to an existing folder (NoSuchFile, or Failed when it is not a folder).
    void ChangeDirectory(const std::string& path);
    // The absolute form of `path` as the server resolves it.
    std::string RealPath(const std::string& path);

    // Follows links. NoSuchFile when there is nothing by that name.
    Entry Stat(const std::string& path);
    // nullopt when there is nothing by that name.
    std::optional<Entry> TryStat(const std::string& path);
    // The folder's entries without "." and "..", links as EntryType::Link (not followed).
    // At most 1,000,000 entries and 256 MiB of names; more fail with Failed.
    std::vector<Entry> List(const std::string& folder);

    void MakeDirectory(const std::string& path);
    void RemoveDirectory(const std::string& path); // an empty one
    void Remove(const std::string& path);
    // Refuses (AlreadyExists) when `to` exists; the server is asked never to replace it either.
    void Rename(const std::string& from, const std::string& to);
    // Replaces `to` when it exists: atomically where the server offers posix-rename@openssh.com,
    // else by removing `to` first.
    void RenameReplacing(const std::string& from, const std::string& to);

    std::unique_ptr<SftpReader> OpenRead(const std::string& path);
    std::unique_ptr<SftpWriter> OpenWrite(const std::string& path);

    // Whether the session can still be used (not cancelled, timed out, or cut by the server).
    bool Alive() const;
    // The block size for writes: 252 KiB on OpenSSH servers (their messages may hold 256 KiB),
    // 32 KiB elsewhere (what every server takes).
    size_t WriteBlockSize() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace zandrel::ssh
