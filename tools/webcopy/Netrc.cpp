#include "tools/webcopy/Netrc.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace zandrel::tools {
namespace {

// The text's tokens; a token in double quotes may hold blanks ("a b"), with \" and \\ inside.
std::vector<std::string> Tokens(std::string_view text) {
    std::vector<std::string> tokens;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < text.size()) {
        if (blank(text[i])) {
            ++i;
            continue;
        }
        std::string token;
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                token += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && !blank(text[i])) token += text[i++];
        }
        // A macro definition runs to the first empty line; it is no part of any login.
        if (token == "macdef") {
            const size_t end = text.find("\n\n", i);
            i = end == std::string_view::npos ? text.size() : end + 2;
            continue;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

} // namespace

std::optional<NetrcLogin> FindNetrcLogin(std::string_view netrcText, std::string_view host, std::string_view user) {
    const std::vector<std::string> tokens = Tokens(netrcText);
    struct Entry {
        bool isDefault = false;
        std::string machine;
        std::optional<std::string> login, password;
    };
    std::vector<Entry> entries;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& word = tokens[i];
        const bool hasValue = i + 1 < tokens.size();
        if (word == "machine" && hasValue) {
            entries.push_back({false, tokens[++i], {}, {}});
        } else if (word == "default") {
            entries.push_back({true, {}, {}, {}});
        } else if (!entries.empty() && hasValue && (word == "login" || word == "password" || word == "account")) {
            const std::string& value = tokens[++i];
            if (word == "login") entries.back().login = value;
            if (word == "password") entries.back().password = value;
        }
    }
    // Entries for the host first, in order; the default entry only when none of them fits.
    for (const bool defaults : {false, true})
        for (const Entry& entry : entries) {
            if (entry.isDefault != defaults || (!defaults && entry.machine != host)) continue;
            if (!user.empty() && entry.login && *entry.login != user) continue;
            if (!entry.password) continue;
            return NetrcLogin{entry.login.value_or(std::string(user)), *entry.password};
        }
    return std::nullopt;
}

std::string NetrcPath() {
    if (const char* path = std::getenv("NETRC"); path && *path) return path;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.netrc";
}

std::string ReadNetrc() {
    std::ifstream in(NetrcPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace zandrel::tools
