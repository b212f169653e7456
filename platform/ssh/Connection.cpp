#include "platform/ssh/Connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/ssh/Sftp.h"

namespace zandrel::ssh::detail {
namespace {

// A connect still waiting for the server's answer completes when the socket becomes writable.
bool StillConnecting(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_SYN_SENT;
}

// The first line a server sent, when it is the greeting of another protocol (FTP, SMTP, ...):
// three digits and a space or a dash. Looked at without taking it from the socket. Empty while
// no whole line has come, or when the server speaks SSH.
std::optional<std::string> ForeignGreeting(int fd) {
    char bytes[256];
    const ssize_t got = ::recv(fd, bytes, sizeof bytes, MSG_PEEK | MSG_DONTWAIT);
    if (got <= 0) return std::nullopt;
    std::string_view text(bytes, static_cast<size_t>(got));
    if (text.starts_with("SSH-")) return std::nullopt;
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (line.size() < 4 || !digit(line[0]) || !digit(line[1]) || !digit(line[2]) || (line[3] != ' ' && line[3] != '-'))
        return std::nullopt;
    std::string shown;
    for (char c : line.substr(0, 80)) shown += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return shown;
}

} // namespace

int Connection::PumpConnect(const std::function<int()>& step, int again, const std::string& during) {
    const Clock::time_point deadline = pacer.Deadline();
    // Looked for right after each wait (before libssh reads what came) and after each step (in
    // case it came meanwhile). A greeting libssh has already taken in still ends in the timeout.
    const auto refuseForeignGreeting = [&] {
        const int fd = lib.sshGetFd(ssh);
        if (fd < 0) return;
        if (const std::optional<std::string> greeting = ForeignGreeting(fd))
            throw SshError(SshErrorKind::CannotConnect,
                           "the server at " + Where() + " answered \"" + *greeting +
                               "\", which is no SSH server: check the port (SFTP is usually on 22) and the transport");
    };
    for (;;) {
        const int rc = step();
        if (rc != again) return rc;
        refuseForeignGreeting();
        const int fd = lib.sshGetFd(ssh);
        short events = POLLIN;
        if (fd >= 0 && ((lib.sshGetPollFlags(ssh) & SSH_WRITE_PENDING) || StillConnecting(fd))) events |= POLLOUT;
        pacer.WaitSocket(fd, events, deadline, during);
        refuseForeignGreeting();
    }
}

int Connection::Pump(const std::function<int()>& step, int again, const std::string& during) {
    const Clock::time_point deadline = pacer.Deadline();
    for (;;) {
        const int rc = step();
        if (rc != again) return rc;
        const int fd = lib.sshGetFd(ssh);
        short events = POLLIN;
        if (fd >= 0 && ((lib.sshGetPollFlags(ssh) & SSH_WRITE_PENDING) || StillConnecting(fd))) events |= POLLOUT;
        pacer.WaitSocket(fd, events, deadline, during);
    }
}

std::string Connection::LibError() const {
    const char* text = lib.sshGetError(ssh);
    return text && *text ? text : "unknown error";
}

std::string Connection::Where() const { return options.host + ":" + std::to_string(options.port); }

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::string Tilde(const std::string& path) {
    const std::string home = HomeFolder();
    if (home.size() > 1 && path.size() > home.size() && path.compare(0, home.size(), home) == 0 &&
        path[home.size()] == '/')
        return "~" + path.substr(home.size());
    return path;
}

} // namespace zandrel::ssh::detail
