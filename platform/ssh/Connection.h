#pragma once
// What the steps of opening a session share: the library, the SSH session in non-blocking mode,
// the caller's options and the pacing of waits.
#include <functional>
#include <string>

#include "platform/ssh/LibsshLibrary.h"
#include "platform/ssh/Pacing.h"
#include "platform/ssh/Sftp.h"

namespace zandrel::ssh::detail {

struct Connection {
    const Libssh& lib;
    ssh_session ssh;
    const SessionOptions& options;
    Pacer& pacer;

    // Repeats `step`, a libssh call in non-blocking mode, while it returns `again`, waiting for
    // the socket in between; the whole step is bounded by the timeout. Returns the last result.
    int Pump(const std::function<int()>& step, int again, const std::string& during);
    // Pump for the connect: besides, a server that greets like another protocol ("220 FTP server
    // ready") fails the connect at once (CannotConnect) instead of after the timeout. An SSH
    // server's first line is its banner, so nothing else it may send is taken for such a greeting.
    int PumpConnect(const std::function<int()>& step, int again, const std::string& during);
    // The library's last error text for the session.
    std::string LibError() const;
    // "example.org:2222", for texts.
    std::string Where() const;
};

// The user's home folder ($HOME, else the password database's).
std::string HomeFolder();
// `path` with the home folder shown as "~".
std::string Tilde(const std::string& path);

} // namespace zandrel::ssh::detail
