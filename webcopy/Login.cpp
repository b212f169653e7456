#include "webcopy/Login.h"

#include <utility>

namespace zandrel::webcopy {
namespace {

LoginHandler& Handler() {
    static LoginHandler handler;
    return handler;
}

} // namespace

bool GetLogin(const std::string& Caption, std::string& UserName, std::string& Password) {
    const LoginHandler& handler = Handler();
    if (!handler) return false;
    std::string user = UserName;
    std::string password = Password;
    if (!handler(Caption, user, password)) return false;
    UserName = std::move(user);
    Password = std::move(password);
    return true;
}

LoginHandler SetLoginHandler(LoginHandler handler) { return std::exchange(Handler(), std::move(handler)); }

} // namespace zandrel::webcopy
