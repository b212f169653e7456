#pragma once
// The user's ~/.netrc, read the way ftp(1) and curl read it: "machine NAME login USER password
// PASSWORD" entries (and "default", which matches any machine), tokens separated by blanks or
// line breaks, "macdef" bodies (ended by an empty line) skipped, and the first entry that matches
// taken.
#include <optional>
#include <string>
#include <string_view>

namespace zandrel::tools {

struct NetrcLogin {
    std::string login;
    std::string password;
};

// The login for `host` in the netrc text: the first "machine host" entry (or "default" when none
// names the host) whose login is `user`, or any login when `user` is empty. nullopt when there is
// none, or the entry has no password.
std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrcText, std::string_view host, std::string_view user);

// The path of the user's netrc: $NETRC when set, else ~/.netrc.
std::string NetrcPath();
// Its text; empty when there is none.
std::string ReadNetrc();

} // namespace zandrel::tools
