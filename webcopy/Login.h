#pragma once
// The login question of the HTTP download: who to be on a server that asks for credentials.
// By default the login dialog asks the person, in a window or at the terminal, whichever backend
// the program installed. Where nobody can answer (no backend, or a terminal backend whose input is
// not a terminal) the question counts as cancelled at once, so an unattended run never waits for
// an answer that cannot come. A handler installed with SetLoginHandler answers instead of the
// dialog (stored credentials, an embedding program, tests).
#include <functional>
#include <string>

namespace zandrel::webcopy {

// True with `UserName` and `Password` set when the person confirmed; false (both unchanged)
// when they cancelled.
using LoginHandler = std::function<bool(const std::string& Caption, std::string& UserName, std::string& Password)>;

// What the dialog says when the server refused the user name and password it was given.
inline constexpr const char* kLoginRefused = "user name or password refused; try again";

// Asks the installed handler, or else shows the login dialog with `Caption` as its title. The
// dialog starts with both fields empty: the values passed in are not shown. `Refused`: the server
// refused `UserName` and a password; the dialog says so and starts with that user name. A Ctrl-C
// that comes while it is up cancels it and stays pending for the work that asked (its Cancel
// button then stops the whole run); with a Ctrl-C already pending nobody is asked.
bool GetLogin(const std::string& Caption, std::string& UserName, std::string& Password, bool Refused = false);
// Installs `handler` for the process and returns the previous one; an empty handler brings the
// dialog back.
LoginHandler SetLoginHandler(LoginHandler handler);

} // namespace zandrel::webcopy
