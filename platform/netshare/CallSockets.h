#pragma once
// The TCP sockets a library call opened to a server, found from outside the call, so that a call
// the caller gave up on can be made to end: cut (shut down) its connections and its next wait
// sees them closed. The sockets stay open; whoever owns them closes them as usual.
#include <sys/types.h>

#include <cstdint>
#include <set>
#include <vector>

namespace zandrel::netshare::detail {

// The sockets this process holds now, by inode (fd numbers are reused, inodes are not).
std::set<ino_t> OpenSocketInodes();

// Shuts down every TCP socket of this process that is not in `earlier` and either is connected
// to one of `ports` or is still connecting (its peer not known yet). Returns how many it cut.
int CutSocketsOpenedSince(const std::set<ino_t>& earlier, const std::vector<uint16_t>& ports);

} // namespace zandrel::netshare::detail
