#include "platform/ssh/KnownHosts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace zandrel::ssh::detail {
namespace {

// Lines longer than this are no key we could match (the longest RSA keys take about 2 KiB).
constexpr size_t kLongestLine = 64 * 1024;

std::string UserKnownHosts(const SessionOptions& o) {
    return o.userKnownHosts.empty() ? HomeFolder() + "/.ssh/known_hosts" : o.userKnownHosts;
}
std::string GlobalKnownHosts(const SessionOptions& o) {
    return o.globalKnownHosts.empty() ? "/etc/ssh/ssh_known_hosts" : o.globalKnownHosts;
}

struct ServerKey {
    std::string type;
    std::string fingerprint;
};

ServerKey Describe(const Libssh& lib, ssh_key key) {
    ServerKey d;
    const char* type = lib.sshKeyTypeToChar(lib.sshKeyType(key));
    d.type = type ? type : "unknown";
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (lib.sshGetPublickeyHash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0) {
        if (char* text = lib.sshGetFingerprintHash(SSH_PUBLICKEY_HASH_SHA256, hash, length)) {
            d.fingerprint = text;
            lib.sshStringFreeChar(text);
        }
        lib.sshCleanPubkeyHash(&hash);
    }
    return d;
}

std::string Errno(int error) { return std::strerror(error); }

std::string ShellQuoted(const std::string& text) {
    if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_:/~") ==
        std::string::npos)
        return text;
    std::string quoted = "'";
    for (const char ch : text) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return quoted + "'";
}

} // namespace

std::string KnownHostsName(const std::string& host, uint16_t port) {
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

std::optional<KnownHostLine> FindConflictingLine(const Libssh& lib, const std::vector<std::string>& files,
                                                 const std::string& hostName, ssh_key key, bool sameType) {
    const ssh_keytypes_e type = lib.sshKeyType(key);
    for (const std::string& file : files) {
        std::ifstream in(file);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#' || line.size() > kLongestLine) continue;
            ssh_knownhosts_entry* entry = nullptr;
            if (lib.sshKnownHostsParseLine(hostName.c_str(), line.c_str() + start, &entry) != SSH_OK || !entry)
                continue;
            std::unique_ptr<ssh_knownhosts_entry, void (*)(ssh_knownhosts_entry*)> owned(
                entry, lib.sshKnownhostsEntryFree);
            if (!entry->publickey) continue;
            const bool typeMatches = lib.sshKeyType(entry->publickey) == type;
            if (sameType ? typeMatches && lib.sshKeyCmp(entry->publickey, key, SSH_KEY_CMP_PUBLIC) != 0
                         : !typeMatches)
                return KnownHostLine{file, number};
        }
    }
    return std::nullopt;
}

void AppendKnownHost(const std::string& file, const std::string& entry) {
    const size_t slash = file.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = file.substr(0, slash);
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            Fail(SshErrorKind::Failed, "could not make the folder " + Tilde(folder) + " for the host key: " + Errno(errno));
    }
    const int fd = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) Fail(SshErrorKind::Failed, "could not remember the host key in " + Tilde(file) + ": " + Errno(errno));
    std::string text = entry;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    text += '\n';
    // A file whose last line has no line end would otherwise get our entry glued to it.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        text.insert(text.begin(), '\n');
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            Fail(SshErrorKind::Failed, "could not remember the host key in " + Tilde(file) + ": " + Errno(error));
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        Fail(SshErrorKind::Failed, "could not remember the host key in " + Tilde(file) + ": " + Errno(errno));
}

void VerifyHostKey(Connection& c) {
    const Libssh& lib = c.lib;
    ssh_key raw = nullptr;
    if (lib.sshGetServerPublickey(c.ssh, &raw) != SSH_OK || !raw)
        Fail(SshErrorKind::CannotConnect, c.Where() + " sent no usable host key: " + c.LibError());
    std::unique_ptr<ssh_key_struct, void (*)(ssh_key)> key(raw, lib.sshKeyFree);
    const ServerKey described = Describe(lib, key.get());
    const std::string name = KnownHostsName(c.options.host, c.options.port);
    const std::string userFile = UserKnownHosts(c.options);
    const std::string globalFile = GlobalKnownHosts(c.options);

    switch (lib.sshSessionIsKnownServer(c.ssh)) {
    case SSH_KNOWN_HOSTS_OK: return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        std::optional<KnownHostLine> where =
            FindConflictingLine(lib, {userFile, globalFile}, name, key.get(), true);
        if (!where) where = FindConflictingLine(lib, {userFile, globalFile}, name, key.get(), false);
        const std::string at = where ? Tilde(where->file) + " line " + std::to_string(where->line) : Tilde(userFile);
        Fail(SshErrorKind::HostKeyChanged,
             "the host key of " + name + " has changed: it is now " + described.type + " " + described.fingerprint +
                 ", which does not match the key in " + at +
                 ". Someone may be intercepting the connection; if the server's key was replaced on purpose, "
                 "remove the old key with: ssh-keygen -R " + ShellQuoted(name));
    }
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: break;
    case SSH_KNOWN_HOSTS_ERROR:
    default: Fail(SshErrorKind::Failed, "could not check the host key of " + name + ": " + c.LibError());
    }

    if (!c.options.askHostKey) {
        const std::string portOption = c.options.port == 22 ? "" : "-p " + std::to_string(c.options.port) + " ";
        Fail(SshErrorKind::HostKeyUnknown,
             "the host key of " + name + " is not known (" + described.type + " " + described.fingerprint +
                 "). Check that fingerprint with the server's administrator, then add the key with: ssh-keyscan " +
                 portOption + ShellQuoted(c.options.host) + " >> ~/.ssh/known_hosts");
    }
    HostKeyQuestion question{name, described.type, described.fingerprint, userFile};
    switch (c.options.askHostKey(question)) {
    case HostKeyAnswer::AcceptOnce: return;
    case HostKeyAnswer::AcceptAndRemember: {
        char* entry = nullptr;
        if (lib.sshSessionExportKnownHostsEntry(c.ssh, &entry) != SSH_OK || !entry)
            Fail(SshErrorKind::Failed, "could not write the host key of " + name + ": " + c.LibError());
        const std::string line = entry;
        lib.sshStringFreeChar(entry);
        AppendKnownHost(userFile, line);
        return;
    }
    case HostKeyAnswer::Cancel: break;
    }
    Fail(SshErrorKind::HostKeyRejected, "the host key of " + name + " (" + described.fingerprint + ") was not accepted");
}

} // namespace zandrel::ssh::detail
