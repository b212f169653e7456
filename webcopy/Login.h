#pragma once
// The login question of the HTTP download: who to be on a server that asks for credentials.
// The dialog that asks a person is installed as the handler by the UI; without a handler the
// question counts as cancelled, so an unattended run never waits for an answer that cannot come.
#include <functional>
#include <string>

namespace zandrel::webcopy {

// True with `UserName` and `Password` set when the person confirmed; false (both unchanged)
// when they cancelled.
using LoginHandler = std::function<bool(const std::string& Caption, std::string& UserName, std::string& Password)>;

// Asks the installed handler; false without one.
bool GetLogin(const std::string& Caption, std::string& UserName, std::string& Password);
// Installs `handler` for the process and returns the previous one.
LoginHandler SetLoginHandler(LoginHandler handler);

} // namespace zandrel::webcopy
