#include "platform/ssh/Connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace zandrel::ssh::detail {
namespace {

// A connect still waiting for the server's answer completes when the socket becomes writable.
bool StillConnecting(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_SYN_SENT;
}

} // namespace

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
