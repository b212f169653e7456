#include <string.h>
#include <sys/socket.h>

#include <cstring>
#include <utility>

#include "platform/ssh/KnownHosts.h"
#include "platform/ssh/Login.h"
#include "platform/ssh/RawRequests.h"
#include "platform/ssh/SessionImpl.h"

namespace zandrel::ssh {
namespace {

using detail::Fail;

// The most a listing may hold, as for FTP listings: entries, and bytes of their names.
constexpr size_t kMostEntries = 1'000'000;
constexpr size_t kMostNameBytes = 256u << 20;
// Entries read per call into the session's thread: a long listing still meets the timeout per part.
constexpr int kEntriesPerCall = 512;
// OpenSSH takes SFTP messages up to 256 KiB; the rest of a write message's 256 KiB is its head.
constexpr size_t kOpenSshWriteBlock = 252 * 1024;
// What every SFTP server takes (the protocol's drafts require 32 KiB and a little more).
constexpr size_t kSafeWriteBlock = 32 * 1024;
// Closing politely may not hold the caller up for long.
constexpr detail::Millis kGoodbyeBound{2000};

void CheckName(const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos)
        Fail(SshErrorKind::InvalidArgument, std::string(what) + " holds a NUL byte");
}

void CheckHost(const std::string& host) {
    if (host.empty()) Fail(SshErrorKind::InvalidArgument, "no host name was given");
    for (const unsigned char ch : host)
        if (ch <= ' ' || ch == '@' || ch == 0x7f)
            Fail(SshErrorKind::InvalidArgument, "the host name \"" + host + "\" holds a character no host name has");
}

Entry ToEntry(const char* name, sftp_attributes a) {
    Entry e;
    e.name = name ? name : "";
    switch (a->type) {
    case SSH_FILEXFER_TYPE_REGULAR: e.type = EntryType::File; break;
    case SSH_FILEXFER_TYPE_DIRECTORY: e.type = EntryType::Directory; break;
    case SSH_FILEXFER_TYPE_SYMLINK: e.type = EntryType::Link; break;
    default: e.type = EntryType::Other; break;
    }
    if (a->flags & SSH_FILEXFER_ATTR_SIZE) e.size = a->size;
    if (a->flags & SSH_FILEXFER_ATTR_ACMODTIME)
        e.modified = static_cast<int64_t>(a->mtime);
    else if (a->flags & SSH_FILEXFER_ATTR_MODIFYTIME)
        e.modified = static_cast<int64_t>(a->mtime64);
    return e;
}

} // namespace

// ---- the shared state ------------------------------------------------------------------------------

SftpSession::Impl::Impl(SessionOptions o) : options(std::move(o)), pacer(options.keepGoing, options.timeout) {}

SftpSession::Impl::~Impl() {
    ::explicit_bzero(options.password.data(), options.password.size());
    if (!lib) return;
    if (ssh && !dead) {
        // A polite goodbye, briefly: the server then closes the file handles at once.
        try {
            Call("while closing the session", [this] {
                if (sftp) lib->sftpFree(std::exchange(sftp, nullptr));
                lib->sshDisconnect(ssh);
            }, kGoodbyeBound);
        } catch (const SshError&) {
        }
    }
    // With the connection cut, whatever is left is freed without waiting for anyone.
    if (sftp) lib->sftpFree(sftp);
    if (ssh) lib->sshFree(ssh);
}

void SftpSession::Impl::CheckAlive() const {
    if (dead) Fail(SshErrorKind::ConnectionLost, "the session ended earlier: " + deadReason);
}

void SftpSession::Impl::Cut() {
    const int fd = ssh ? lib->sshGetFd(ssh) : -1;
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void SftpSession::Impl::Settle(const void* caller) {
    if (!settle || settleOwner == caller) return;
    const std::function<void()> settleThem = std::exchange(settle, nullptr);
    settleOwner = nullptr;
    settleThem();
}

void SftpSession::Impl::HoldChannel(const void* owner, std::function<void()> settleThem) {
    settle = std::move(settleThem);
    settleOwner = owner;
}

void SftpSession::Impl::ReleaseChannel(const void* owner) {
    if (settleOwner != owner) return;
    settle = nullptr;
    settleOwner = nullptr;
}

void SftpSession::Impl::Call(const std::string& during, const std::function<void()>& work,
                             std::optional<detail::Millis> bound, const void* owner) {
    CheckAlive();
    const std::function<void()> settled = [&] {
        Settle(owner);
        work();
    };
    bool wasCut = false;
    try {
        thread.Run(settled, pacer, detail::Clock::now() + bound.value_or(pacer.Timeout()), [this] { Cut(); }, during,
                   wasCut);
    } catch (const SshError& e) {
        // A Cancel that did not need the cut leaves the session in step and usable.
        if (wasCut || e.Kind() == SshErrorKind::TimedOut || e.Kind() == SshErrorKind::ConnectionLost) {
            dead = true;
            deadReason = e.what();
            Cut();
        }
        throw;
    }
}

std::string SftpSession::Impl::Resolve(const std::string& path, bool emptyMeansHere) const {
    CheckName(path, "the path");
    if (path.empty()) {
        if (!emptyMeansHere) Fail(SshErrorKind::InvalidArgument, "no file name was given");
        return cwd;
    }
    if (path.front() == '/') return path;
    return cwd + (cwd.empty() || cwd.back() == '/' ? "" : "/") + path;
}

void SftpSession::Impl::FailSftp(const std::string& what) const {
    const int code = sftp ? lib->sftpGetError(sftp) : SSH_FX_OK;
    std::string text = lib->sshGetError(ssh) ? lib->sshGetError(ssh) : "";
    for (const char* prefix : {"SFTP server: ", "Failed to get status: "})
        if (text.rfind(prefix, 0) == 0) text.erase(0, std::strlen(prefix));
    if (text.empty()) text = "unknown error";
    SshErrorKind kind = SshErrorKind::Failed;
    switch (code) {
    case SSH_FX_NO_SUCH_FILE:
    case SSH_FX_NO_SUCH_PATH: kind = SshErrorKind::NoSuchFile; break;
    case SSH_FX_PERMISSION_DENIED:
    case SSH_FX_WRITE_PROTECT: kind = SshErrorKind::PermissionDenied; break;
    case SSH_FX_FILE_ALREADY_EXISTS: kind = SshErrorKind::AlreadyExists; break;
    case SSH_FX_OK: // not the server's status: the channel or the connection failed
    case SSH_FX_NO_CONNECTION:
    case SSH_FX_CONNECTION_LOST: kind = SshErrorKind::ConnectionLost; break;
    default: break;
    }
    if (kind == SshErrorKind::Failed && !lib->sshIsConnected(ssh)) kind = SshErrorKind::ConnectionLost;
    Fail(kind, what + ": " + text);
}

// ---- connecting ------------------------------------------------------------------------------------

SftpSession::SftpSession(SessionOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {
    Impl& s = *impl_;
    const SessionOptions& o = s.options;
    CheckHost(o.host);
    CheckName(o.user, "the user name");
    CheckName(o.password, "the password");
    CheckName(o.keyFile, "the key file's name");
    std::string why;
    const detail::Libssh* lib = detail::LoadLibssh(why);
    if (!lib) Fail(SshErrorKind::LibraryMissing, why);
    s.lib = lib;
    s.ssh = lib->sshNew();
    if (!s.ssh) Fail(SshErrorKind::Failed, "could not start an SSH session (out of memory)");

    const std::string userKnownHosts =
        o.userKnownHosts.empty() ? detail::HomeFolder() + "/.ssh/known_hosts" : o.userKnownHosts;
    const std::string globalKnownHosts = o.globalKnownHosts.empty() ? "/etc/ssh/ssh_known_hosts" : o.globalKnownHosts;
    const int port = o.port;
    const int nodelay = 1; // without it, every write waits for the previous one's acknowledgement
    const bool processConfig = false; // the options here are the whole truth, not ~/.ssh/config
    const long timeoutSeconds = static_cast<long>((o.timeout.count() + 999) / 1000);
    const auto set = [&](ssh_options_e option, const void* value) {
        if (lib->sshOptionsSet(s.ssh, option, value) != SSH_OK)
            Fail(SshErrorKind::InvalidArgument, "could not set up the SSH session: " + std::string(lib->sshGetError(s.ssh)));
    };
    set(SSH_OPTIONS_PROCESS_CONFIG, &processConfig);
    set(SSH_OPTIONS_HOST, o.host.c_str());
    set(SSH_OPTIONS_PORT, &port);
    if (!o.user.empty()) set(SSH_OPTIONS_USER, o.user.c_str());
    set(SSH_OPTIONS_NODELAY, &nodelay);
    set(SSH_OPTIONS_TIMEOUT, &timeoutSeconds);
    set(SSH_OPTIONS_KNOWNHOSTS, userKnownHosts.c_str());
    set(SSH_OPTIONS_GLOBAL_KNOWNHOSTS, globalKnownHosts.c_str());
    if (!o.ciphers.empty()) {
        set(SSH_OPTIONS_CIPHERS_C_S, o.ciphers.c_str());
        set(SSH_OPTIONS_CIPHERS_S_C, o.ciphers.c_str());
    }

    lib->sshSetBlocking(s.ssh, 0);
    detail::Connection c{*lib, s.ssh, s.options, s.pacer};
    if (c.PumpConnect([&] { return lib->sshConnect(s.ssh); }, SSH_AGAIN, "while connecting to " + c.Where()) != SSH_OK) {
        const std::string why = c.LibError();
        Fail(why.rfind("Failed to resolve hostname", 0) == 0 ? SshErrorKind::NameNotResolved : SshErrorKind::CannotConnect,
             "could not connect to " + c.Where() + ": " + why);
    }
    detail::VerifyHostKey(c);
    detail::LogIn(c);
    // The session keeps no secret beyond the login.
    ::explicit_bzero(s.options.password.data(), s.options.password.size());
    s.options.password.clear();

    // libssh's SFTP calls need a blocking session; they run on the session's thread from here on.
    lib->sshSetBlocking(s.ssh, 1);
    s.Call("while starting SFTP on " + c.Where(), [&] {
        s.sftp = lib->sftpNew(s.ssh);
        if (!s.sftp)
            Fail(SshErrorKind::Failed, "the server at " + c.Where() + " offers no SFTP: " + c.LibError());
        if (lib->sftpInit(s.sftp) != 0) s.FailSftp("could not start SFTP on " + c.Where());
        char* home = lib->sftpCanonicalizePath(s.sftp, ".");
        if (!home) s.FailSftp("could not learn the home folder on " + c.Where());
        s.home = home;
        lib->sshStringFreeChar(home);
    });
    s.cwd = s.home;
    // Large writes rely on OpenSSH's message limit; other servers get what every server takes.
    s.writeBlock = lib->sshGetOpensshVersion(s.ssh) != 0 ? kOpenSshWriteBlock : kSafeWriteBlock;
    s.posixRename = lib->sftpExtensionSupported(s.sftp, "posix-rename@openssh.com", "1") == 1;
}

SftpSession::~SftpSession() = default;

// ---- names and folders -----------------------------------------------------------------------------

const std::string& SftpSession::HomeDirectory() const { return impl_->home; }
const std::string& SftpSession::CurrentDirectory() const { return impl_->cwd; }
bool SftpSession::Alive() const { return !impl_->dead; }
size_t SftpSession::WriteBlockSize() const { return impl_->writeBlock; }

std::string SftpSession::RealPath(const std::string& path) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(path, true);
    std::string real;
    s.Call("while resolving " + full, [&] {
        char* resolved = s.lib->sftpCanonicalizePath(s.sftp, full.c_str());
        if (!resolved) s.FailSftp("could not resolve " + full);
        real = resolved;
        s.lib->sshStringFreeChar(resolved);
    });
    return real;
}

void SftpSession::ChangeDirectory(const std::string& path) {
    const std::string real = RealPath(path);
    if (Stat(real).type != EntryType::Directory) Fail(SshErrorKind::Failed, real + " is not a folder");
    impl_->cwd = real;
}

std::optional<Entry> SftpSession::TryStat(const std::string& path) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(path, true);
    std::optional<Entry> entry;
    s.Call("while looking up " + full, [&] {
        sftp_attributes a = s.lib->sftpStat(s.sftp, full.c_str());
        if (!a) {
            const int code = s.lib->sftpGetError(s.sftp);
            if (code == SSH_FX_NO_SUCH_FILE || code == SSH_FX_NO_SUCH_PATH) return;
            s.FailSftp("could not look up " + full);
        }
        const size_t slash = full.find_last_of('/');
        entry = ToEntry(full.c_str() + (slash == std::string::npos ? 0 : slash + 1), a);
        s.lib->sftpAttributesFree(a);
    });
    return entry;
}

Entry SftpSession::Stat(const std::string& path) {
    std::optional<Entry> entry = TryStat(path);
    if (!entry) Fail(SshErrorKind::NoSuchFile, "could not look up " + impl_->Resolve(path, true) + ": No such file");
    return *entry;
}

std::vector<Entry> SftpSession::List(const std::string& folder) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(folder, true);
    const std::string what = "could not list " + full;
    sftp_dir dir = nullptr;
    s.Call("while opening " + full, [&] {
        dir = s.lib->sftpOpendir(s.sftp, full.c_str());
        if (!dir) s.FailSftp(what);
    });
    std::vector<Entry> entries;
    size_t nameBytes = 0;
    try {
        for (bool end = false; !end;) {
            s.Call("while listing " + full, [&] {
                for (int i = 0; i < kEntriesPerCall; ++i) {
                    sftp_attributes a = s.lib->sftpReaddir(s.sftp, dir);
                    if (!a) {
                        if (!s.lib->sftpDirEof(dir)) s.FailSftp(what);
                        end = true;
                        return;
                    }
                    const std::string name = a->name ? a->name : "";
                    if (name != "." && name != ".." && !name.empty()) entries.push_back(ToEntry(a->name, a));
                    s.lib->sftpAttributesFree(a);
                    nameBytes += name.size();
                    if (entries.size() > kMostEntries || nameBytes > kMostNameBytes)
                        Fail(SshErrorKind::Failed, what + ": more than 1,000,000 entries or 256 MiB of names");
                }
            });
        }
    } catch (...) {
        if (!s.dead) {
            try {
                s.Call("while closing " + full, [&] { s.lib->sftpClosedir(dir); });
            } catch (const SshError&) {
            }
        } else {
            s.lib->sftpClosedir(dir); // the connection is cut: nothing is waited for
        }
        throw;
    }
    s.Call("while closing " + full, [&] { s.lib->sftpClosedir(dir); });
    return entries;
}

void SftpSession::MakeDirectory(const std::string& path) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(path);
    s.Call("while making folder " + full, [&] {
        if (s.lib->sftpMkdir(s.sftp, full.c_str(), 0755) != 0) s.FailSftp("could not make folder " + full);
    });
}

void SftpSession::RemoveDirectory(const std::string& path) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(path);
    s.Call("while removing folder " + full, [&] {
        if (s.lib->sftpRmdir(s.sftp, full.c_str()) != 0) s.FailSftp("could not remove folder " + full);
    });
}

void SftpSession::Remove(const std::string& path) {
    Impl& s = *impl_;
    const std::string full = s.Resolve(path);
    s.Call("while deleting " + full, [&] {
        if (s.lib->sftpUnlink(s.sftp, full.c_str()) != 0) s.FailSftp("could not delete " + full);
    });
}

void SftpSession::Rename(const std::string& from, const std::string& to) {
    Impl& s = *impl_;
    const std::string source = s.Resolve(from), target = s.Resolve(to);
    const std::string what = "could not rename " + source + " to " + target;
    s.Call("while renaming " + source, [&] {
        // The protocol's rename must not replace, but some servers do: look first. OpenSSH refuses
        // on its own as well, which closes the window between the look and the rename there.
        if (sftp_attributes existing = s.lib->sftpLstat(s.sftp, target.c_str())) {
            s.lib->sftpAttributesFree(existing);
            Fail(SshErrorKind::AlreadyExists, what + ": " + target + " already exists");
        }
        if (s.lib->sftpRename(s.sftp, source.c_str(), target.c_str()) != 0) s.FailSftp(what);
    });
}

void SftpSession::RenameReplacing(const std::string& from, const std::string& to) {
    Impl& s = *impl_;
    const std::string source = s.Resolve(from), target = s.Resolve(to);
    const std::string what = "could not rename " + source + " to " + target;
    s.Call("while renaming " + source, [&] {
        if (s.posixRename) {
            const uint32_t id = detail::SendPosixRename(s, source, target, what);
            const detail::RawStatus status = detail::ReadStatus(s, what);
            if (status.id != id) Fail(SshErrorKind::ConnectionLost, what + ": the server answered another request");
            if (status.code != SSH_FX_OK) throw detail::StatusError(status, what);
            return;
        }
        // Without the atomic rename: the old target steps aside under a name of its own, the new
        // file takes the name, and only then does the old one go. Should the new one not take
        // it, the old one comes back: the target is never lost, only absent for a moment.
        std::string aside;
        if (sftp_attributes existing = s.lib->sftpLstat(s.sftp, target.c_str())) {
            const bool folder = existing->type == SSH_FILEXFER_TYPE_DIRECTORY;
            s.lib->sftpAttributesFree(existing);
            if (folder) Fail(SshErrorKind::AlreadyExists, what + ": " + target + " is a folder");
            const size_t slash = target.rfind('/');
            aside = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".zandrel-aside";
            if (s.lib->sftpRename(s.sftp, target.c_str(), aside.c_str()) != 0) s.FailSftp(what);
        }
        if (s.lib->sftpRename(s.sftp, source.c_str(), target.c_str()) != 0) {
            if (aside.empty()) s.FailSftp(what);
            // The refusal is told, not the answer to putting the old file back.
            try {
                s.FailSftp(what);
            } catch (...) {
                s.lib->sftpRename(s.sftp, aside.c_str(), target.c_str());
                throw;
            }
        }
        if (!aside.empty()) s.lib->sftpUnlink(s.sftp, aside.c_str());
    });
}

} // namespace zandrel::ssh
