// Linux: the process's descriptors are listed in /proc/self/fd.
#include "platform/netshare/CallSockets.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace zandrel::netshare::detail {
namespace {

// Calls `visit(fd, inode)` for each socket descriptor of this process.
template <typename Visit>
void ForEachSocket(Visit visit) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return;
    const int own = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) continue;
        struct stat st {};
        if (::fstat(static_cast<int>(fd), &st) == 0 && S_ISSOCK(st.st_mode)) visit(static_cast<int>(fd), st.st_ino);
    }
    ::closedir(dir);
}

bool IsTcp(int fd) {
    int protocol = 0;
    socklen_t length = sizeof protocol;
    return ::getsockopt(fd, SOL_SOCKET, SO_PROTOCOL, &protocol, &length) == 0 && protocol == IPPROTO_TCP;
}

// The peer's port, or 0 when the socket is not connected.
uint16_t PeerPort(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return 0;
    if (peer.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port);
    if (peer.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port);
    return 0;
}

// A connect that is still waiting for the server's answer: the peer is not known to the socket
// API yet, only to the TCP state.
bool IsConnecting(int fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_SYN_SENT;
}

} // namespace

std::set<ino_t> OpenSocketInodes() {
    std::set<ino_t> inodes;
    ForEachSocket([&](int, ino_t inode) { inodes.insert(inode); });
    return inodes;
}

int CutSocketsOpenedSince(const std::set<ino_t>& earlier, const std::vector<uint16_t>& ports) {
    int cut = 0;
    ForEachSocket([&](int fd, ino_t inode) {
        if (earlier.count(inode) || !IsTcp(fd)) return;
        const uint16_t port = PeerPort(fd);
        const bool ours = port != 0 ? std::find(ports.begin(), ports.end(), port) != ports.end() : IsConnecting(fd);
        if (ours && ::shutdown(fd, SHUT_RDWR) == 0) ++cut;
    });
    return cut;
}

} // namespace zandrel::netshare::detail
