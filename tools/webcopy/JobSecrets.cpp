#include "tools/webcopy/JobSecrets.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tools/webcopy/JobInput.h"
#include "tools/webcopy/Netrc.h"
#include "webcopy/FtpEndpoint.h"

namespace zandrel::tools {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::string_view, 3> kPasswordProperties{"FTPPassword", "HTTPPassword", "ProxyPassword"};
constexpr std::string_view kNetrc = "Netrc";

bool IsPasswordProperty(std::string_view name) {
    for (std::string_view property : kPasswordProperties)
        if (name == property) return true;
    return false;
}

// The password properties of the job and of each item, with where they are ("Items[2].FTPPassword").
template <class Job, class Visit>
void ForEachPassword(Job& job, Visit&& visit) {
    auto within = [&](auto& object, const std::string& path) {
        if (!object.is_object()) return;
        for (auto it = object.begin(); it != object.end(); ++it)
            if (IsPasswordProperty(it.key())) visit(it.value(), path + it.key());
    };
    within(job, "");
    if (auto items = job.find("Items"); items != job.end() && items->is_array())
        for (size_t i = 0; i < items->size(); ++i) within((*items)[i], "Items[" + std::to_string(i) + "].");
}

bool IsFtpItem(const Json& item) {
    const auto protocol = item.find("Protocol");
    if (protocol == item.end() || !protocol->is_string()) return false; // wpHttp is the default
    const std::string name = protocol->get<std::string>();
    return name.rfind("wpFtp", 0) == 0 || name.rfind("wpMultiFtp", 0) == 0;
}

} // namespace

void ResolveJobSecrets(Json& job, const std::string& source) {
    ForEachPassword(job, [&](Json& value, const std::string& path) {
        if (!value.is_object()) return;
        const auto name = value.find("env");
        if (value.size() != 1 || name == value.end() || !name->is_string() || name->get<std::string>().empty())
            throw BadJob(source + ": " + path + ": expected a password, or {\"env\": \"VARIABLE\"}");
        const std::string variable = name->get<std::string>();
        const char* password = std::getenv(variable.c_str());
        if (!password) throw BadJob(source + ": " + path + ": the environment variable " + variable + " is not set");
        value = password;
    });

    const auto netrc = job.find(kNetrc);
    if (netrc == job.end()) return;
    if (!netrc->is_boolean()) throw BadJob(source + ": Netrc: expected true or false");
    const bool useNetrc = netrc->get<bool>();
    job.erase(netrc);
    auto items = job.find("Items");
    if (!useNetrc || items == job.end() || !items->is_array()) return;
    const std::string text = ReadNetrc();
    for (Json& item : *items) {
        if (!item.is_object() || !IsFtpItem(item) || item.contains("FTPPassword")) continue;
        const auto host = item.find("FTPHost");
        if (host == item.end() || !host->is_string()) continue;
        // The machine as netrc names it: the server's name without a transport or a port.
        std::string problem;
        const std::string machine =
            webcopy::ResolveFtpEndpoint(host->get<std::string>(), 21, webcopy::fsNone, problem).host;
        const auto user = item.find("FTPUserID");
        const std::string login = user != item.end() && user->is_string() ? user->get<std::string>() : std::string();
        if (const std::optional<NetrcLogin> found = FindNetrcLogin(text, machine, login)) {
            item["FTPUserID"] = found->login;
            item["FTPPassword"] = found->password;
        }
    }
}

std::string ReadableSecretWarning(const Json& job, const std::string& path) {
    bool written = false;
    ForEachPassword(job, [&](const Json& value, const std::string&) {
        written = written || (value.is_string() && !value.get<std::string>().empty());
    });
    struct stat info{};
    if (!written || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & 077) == 0) return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return path + " holds a password and can be read by others (mode " + mode + "); chmod 600 " + path +
           ", or name the password with {\"env\": \"VARIABLE\"} or take it from ~/.netrc (\"Netrc\": true)";
}

} // namespace zandrel::tools
