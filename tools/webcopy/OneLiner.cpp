#include "tools/webcopy/OneLiner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "tools/webcopy/Netrc.h"
#include "webcopy/StreamingValues.h"

namespace zandrel::tools {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

enum class Kind { Local, Ftp, Http, Smb };

// A place named on the command line: a URL taken apart, or a local path.
struct Location {
    Kind kind = Kind::Local;
    std::string text;   // as given
    std::string scheme; // lower case; empty for a local path
    std::string user, password;
    bool hasUser = false, hasPassword = false;
    std::string host; // without brackets
    int port = 0;     // 0: the scheme's own
    std::string path; // undecoded, from the "/" after the host on (empty when there is none)
    std::string rest; // what follows the path (an HTTP query or fragment)
};

const char* const kSchemes = "ftp, ftps, ftpes, sftp, http, https, smb or a local path";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// %XX escapes decoded; a "%" without two hex digits stays as it is. A name that would carry a
// NUL, CR or LF into a command sent to a server is refused.
std::string Decode(const std::string& text, const std::string& what) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    if (out.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw OneLinerError(what + " holds a line break or NUL after decoding: " + text);
    return out;
}

// The escapes a name needs to go into the path of an HTTP URL.
std::string EncodePathPart(const std::string& name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::string_view("-._~!$&'()*+,;=:@").find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 15];
        }
    }
    return out;
}

Location Parse(const std::string& text) {
    Location loc;
    loc.text = text;
    const size_t sep = text.find("://");
    const std::string scheme = sep == std::string::npos ? std::string() : Lower(text.substr(0, sep));
    const bool schemeLike = !scheme.empty() && std::isalpha(static_cast<unsigned char>(scheme[0])) &&
                            std::all_of(scheme.begin(), scheme.end(), [](char c) {
                                return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
                            });
    if (!schemeLike) {
        if (text.empty()) throw OneLinerError("an empty path or URL");
        loc.path = text;
        return loc;
    }
    if (scheme == "file") {
        loc.path = Decode(text.substr(sep + 3), text);
        if (loc.path.empty() || loc.path[0] != '/')
            throw OneLinerError("a file URL needs an absolute path (file:///path): " + text);
        return loc;
    }
    loc.scheme = scheme;
    if (scheme == "ftp" || scheme == "ftps" || scheme == "ftpes" || scheme == "sftp") loc.kind = Kind::Ftp;
    else if (scheme == "http" || scheme == "https") loc.kind = Kind::Http;
    else if (scheme == "smb") loc.kind = Kind::Smb;
    else throw OneLinerError("unknown scheme \"" + scheme + "://\" in " + text + " (use " + kSchemes + ")");

    std::string after = text.substr(sep + 3);
    const size_t authorityEnd = after.find_first_of(loc.kind == Kind::Http ? "/?#" : "/");
    std::string authority = after.substr(0, authorityEnd);
    std::string tail = authorityEnd == std::string::npos ? std::string() : after.substr(authorityEnd);
    if (loc.kind == Kind::Http) {
        const size_t query = tail.find_first_of("?#");
        if (query != std::string::npos) {
            loc.rest = tail.substr(query);
            tail.erase(query);
        }
    }
    loc.path = tail;
    if (const size_t at = authority.rfind('@'); at != std::string::npos) {
        const std::string info = authority.substr(0, at);
        authority.erase(0, at + 1);
        const size_t colon = info.find(':');
        loc.user = Decode(info.substr(0, colon), "the user name in " + text);
        loc.hasUser = true;
        if (colon != std::string::npos) {
            loc.password = Decode(info.substr(colon + 1), "the password in a URL");
            loc.hasPassword = true;
        }
    }
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos) throw OneLinerError("an unclosed [ in the host of " + text);
        loc.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') throw OneLinerError("unexpected text after the host in " + text);
            portText = after.substr(1);
        }
    } else {
        const size_t colon = authority.rfind(':');
        loc.host = authority.substr(0, colon);
        if (colon != std::string::npos) portText = authority.substr(colon + 1);
    }
    if (loc.host.empty()) throw OneLinerError("no host in " + text);
    if (authority.find_first_of(" \t\r\n") != std::string::npos) throw OneLinerError("a space in the host of " + text);
    if (!portText.empty()) {
        const bool digits = portText.size() <= 5 && std::all_of(portText.begin(), portText.end(), [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c));
                            });
        const int port = digits ? std::stoi(portText) : 0;
        if (port < 1 || port > 65535) throw OneLinerError("the port \"" + portText + "\" in " + text + " is not 1 to 65535");
        loc.port = port;
    }
    return loc;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

std::string LastPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A folder named as a remote target: without its trailing "/", except the root itself.
std::string WithoutTrailingSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

// The remote path of an FTP-family URL, decoded, as the FTP routines read it: relative to the
// login folder unless it begins with "/". For ftp, ftps and ftpes the "/" after the host only
// separates (RFC 1738, as curl reads it): ftp://host/pub is "pub" in the login folder, and an
// absolute path is written ftp://host//srv/pub or ftp://host/%2Fsrv/pub. For sftp the path is
// absolute, and /~/ leads into the login (home) folder, as curl and OpenSSH read it.
std::string RemotePath(const Location& loc) {
    std::string path = loc.path;
    if (loc.scheme == "sftp") {
        if (path == "/~" || path.rfind("/~/", 0) == 0) path.erase(0, std::min<size_t>(path.size(), 3));
    } else if (!path.empty()) {
        path.erase(0, 1);
    }
    return Decode(path, "the path of " + loc.text);
}

// The URL names a folder: no path, or one that ends in "/".
bool NamesFolder(const Location& loc) {
    return loc.path.empty() || loc.path.back() == '/' || (loc.scheme == "sftp" && loc.path == "/~");
}

std::string Absolute(const std::string& path) {
    std::string out = fs::absolute(fs::path(path)).lexically_normal().string();
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

struct LocalTarget {
    std::string dir, name; // name empty: the source's own
};

// DEST of a download or copy: a folder when it ends in "/", is a folder, or must be one (several
// files); else the file's own name, in its folder. No DEST: the current folder.
LocalTarget TargetOf(const std::string& dest, bool mustBeFolder) {
    if (dest.empty()) return {Absolute("."), ""};
    if (dest.back() == '/' || IsDirectory(dest) || mustBeFolder) {
        std::error_code ec;
        if (fs::exists(dest, ec) && !IsDirectory(dest))
            throw OneLinerError(dest + " is a file, not a folder" +
                                (mustBeFolder ? std::string(": several files go into a folder") : std::string()));
        return {Absolute(dest), ""};
    }
    const std::string absolute = Absolute(dest);
    const size_t slash = absolute.rfind('/');
    return {slash == 0 ? std::string("/") : absolute.substr(0, slash), absolute.substr(slash + 1)};
}

// A file's last-write time as the job writes dates (UTC, to the second); empty when there is no
// such file.
std::string FileDateOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::tm utc{};
    ::gmtime_r(&st.st_mtime, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The item's properties in the order a job file lists them, so that a printed job reads as the
// README's examples do.
Json InJobOrder(const Json& item) {
    static constexpr const char* kOrder[] = {"Protocol",      "URL",         "TargetDir",  "TargetFilename", "HTTPCommand",
                                             "FTPHost",       "FTPSecurity", "FTPPort",    "FTPUserID",      "FTPPassword",
                                             "CopyNewerOnly", "FileDate",    "Authenticate", "HTTPUserID",   "HTTPPassword",
                                             "WhenTargetExists"};
    // Names from the command line need not be UTF-8 (a Latin-1 file name): those go in as the
    // {"hex": ...} form every text property accepts, so they reach the run byte for byte.
    auto text = [](const Json& value) { return value.is_string() ? webcopy::TextToJson(value.get<std::string>()) : value; };
    Json ordered = Json::object();
    for (const char* key : kOrder)
        if (auto it = item.find(key); it != item.end()) ordered[key] = text(*it);
    for (const auto& [key, value] : item.items())
        if (!ordered.contains(key)) ordered[key] = text(value);
    return ordered;
}

class Builder {
public:
    Builder(const std::string& verb, const OneLinerOptions& options) : verb_(verb), options_(options) {}

    OneLinerJob Build(const std::vector<std::string>& operands) {
        if (verb_ == "get") Get(operands);
        else if (verb_ == "put") Put(operands);
        else if (verb_ == "ls" || verb_ == "rm" || verb_ == "test") OnServer(operands);
        if (options_.force && options_.rename) throw OneLinerError("--force and --rename exclude each other");
        if (options_.passive) job_["FTPPassive"] = *options_.passive;
        if (createUnique_) job_["CreateUniqueFilenames"] = true;
        for (Json& item : items_) item = InJobOrder(item);
        job_["Items"] = items_;
        if (overwrite_) job_["Handlers"] = Json{{"OnCopyOverWrite", *overwrite_}};
        return {job_, passwordGiven_};
    }

private:
    void Get(const std::vector<std::string>& operands) {
        if (operands.empty()) throw OneLinerError("get: no URL given");
        if (operands.size() > 2) throw OneLinerError("get: one URL and at most one DEST (quote a wildcard: 'ftp://host/dir/*.zip')");
        const Location from = Parse(operands[0]);
        const std::string dest = operands.size() > 1 ? operands[1] : std::string();
        // "-" is standard output to most tools; a file of that name is never what was meant.
        if (dest == "-") throw OneLinerError("get: DEST \"-\": files are written to disk, not to standard output (use ./- for a file named -)");
        if (!dest.empty() && dest.find("://") != std::string::npos && Parse(dest).kind != Kind::Local)
            throw OneLinerError("get: DEST is a local file or folder; to send files to a server use put");
        // An existing file is only replaced when asked for; with --newer only by a newer one.
        overwrite_ = options_.force || options_.rename || options_.newer;
        createUnique_ = options_.rename;
        if (from.kind == Kind::Ftp) {
            const std::string remote = RemotePath(from);
            if (NamesFolder(from))
                throw OneLinerError("get: " + from.text + " names a folder; name a file, or its files with a wildcard (" +
                                    "'" + from.text + "*')");
            const bool multi = HasWildcard(LastPart(remote));
            if (multi && options_.newer)
                throw OneLinerError("get: --newer compares with one target file and cannot be used with a wildcard");
            const LocalTarget target = TargetOf(dest, multi);
            Json item = FtpItem(multi ? "wpMultiFtp" : "wpFtp", from, remote);
            item["TargetDir"] = target.dir;
            if (!target.name.empty()) item["TargetFilename"] = target.name;
            Newer(item, target, LastPart(remote));
            items_.push_back(item);
            return;
        }
        if (from.kind == Kind::Http) {
            const std::string name = Decode(LastPart(from.path), "the path of " + from.text);
            if (HasWildcard(name)) throw OneLinerError("get: an HTTP server lists no folders: a wildcard cannot be used");
            const LocalTarget target = TargetOf(dest, false);
            Json item{{"Protocol", "wpHttp"}, {"URL", WithoutUserInfo(from)}, {"TargetDir", target.dir}};
            if (!target.name.empty()) item["TargetFilename"] = target.name;
            const std::string user = options_.user ? *options_.user : from.user;
            if (!user.empty() || from.hasPassword) {
                // A login the server refuses is asked for again where someone can answer.
                item["Authenticate"] = "waAuto";
                item["HTTPUserID"] = user;
                if (from.hasPassword) Password(item, "HTTPPassword", from.password);
            }
            Newer(item, target, name);
            items_.push_back(item);
            return;
        }
        // A local file, or one on a share.
        Json item{{"Protocol", "wpFile"}};
        std::string name;
        if (from.kind == Kind::Smb) {
            const std::string path = Decode(from.path, "the path of " + from.text);
            const size_t shareEnd = path.find('/', 1);
            if (path.size() < 2 || shareEnd == std::string::npos || shareEnd + 1 >= path.size())
                throw OneLinerError("get: " + from.text + " names no file on a share (smb://host/share/path/file)");
            std::string host = "smb://" + (from.host.find(':') != std::string::npos ? "[" + from.host + "]" : from.host);
            if (from.port != 0) host += ":" + std::to_string(from.port);
            item["FTPHost"] = host + path.substr(0, shareEnd);
            item["URL"] = path.substr(shareEnd + 1);
            Account(item, from);
            name = LastPart(path);
        } else {
            item["URL"] = Absolute(from.path);
            name = LastPart(from.path);
        }
        if (HasWildcard(name))
            throw OneLinerError("get: a wildcard works on FTP and SFTP servers; for local files let the shell expand it: "
                                "webcopy put FILE... DIR/");
        if (from.kind == Kind::Local && IsDirectory(from.path))
            throw OneLinerError("get: " + from.text + " is a folder; copies take files");
        const LocalTarget target = TargetOf(dest, false);
        item["TargetDir"] = target.dir;
        if (!target.name.empty()) item["TargetFilename"] = target.name;
        Newer(item, target, name);
        items_.push_back(item);
    }

    void Put(const std::vector<std::string>& operands) {
        if (operands.size() < 2)
            throw OneLinerError(operands.empty() ? "put: no FILE and no URL given" : "put: no FILE given (put FILE... URL)");
        const Location to = Parse(operands.back());
        const std::vector<std::string> files(operands.begin(), operands.end() - 1);
        const bool several = files.size() > 1 || std::any_of(files.begin(), files.end(), [](const std::string& f) {
                                 return HasWildcard(LastPart(f));
                             });
        if (options_.rename && to.kind != Kind::Ftp && to.kind != Kind::Local)
            throw OneLinerError("put: --rename works for FTP, SFTP and local targets");
        for (const std::string& file : files) {
            if (file == "-") throw OneLinerError("put: FILE \"-\": files are read from disk, not from standard input (use ./- for a file named -)");
            if (file.find("://") != std::string::npos && Parse(file).kind != Kind::Local)
                throw OneLinerError("put: " + file + " is no local file; to fetch from a server use get");
            if (IsDirectory(file)) throw OneLinerError("put: " + file + " is a folder; name its files (" + file + "/*)");
        }
        if (to.kind == Kind::Ftp) {
            const std::string remote = RemotePath(to);
            const bool folder = NamesFolder(to);
            if (several && !folder)
                throw OneLinerError("put: several files go into a folder: end the URL with / (" + to.text + "/)");
            for (const std::string& file : files) {
                const bool multi = HasWildcard(LastPart(file));
                if (multi && options_.newer)
                    throw OneLinerError("put: --newer compares one file's date and cannot be used with a wildcard");
                Json item = FtpItem(multi ? "wpMultiFtpUpload" : "wpFtpUpload", to, Absolute(file));
                const std::string dir = folder ? remote : DirPart(remote);
                if (!dir.empty()) item["TargetDir"] = WithoutTrailingSlash(dir);
                if (!folder) item["TargetFilename"] = LastPart(remote);
                if (options_.rename) item["WhenTargetExists"] = "teNextFreeName";
                if (options_.newer) {
                    // The upload is left out when the server's copy is later than this file.
                    const std::string date = FileDateOf(file);
                    item["CopyNewerOnly"] = true;
                    if (!date.empty()) item["FileDate"] = date;
                }
                items_.push_back(item);
            }
            if (options_.newer) overwrite_ = true; // the date check asks before replacing
            return;
        }
        if (to.kind == Kind::Http) {
            if (options_.newer) throw OneLinerError("put: --newer needs the server's date, which HTTP uploads do not ask");
            if (to.hasUser || options_.user) throw OneLinerError("put: HTTP uploads send no login");
            if (several && !NamesFolder(to))
                throw OneLinerError("put: several files go into a folder: end the URL with / (" + to.text + "/)");
            for (const std::string& file : files) {
                if (HasWildcard(LastPart(file)))
                    throw OneLinerError("put: a wildcard in FILE works for FTP and SFTP; let the shell expand it");
                const std::string absolute = Absolute(file);
                const std::string name = LastPart(absolute);
                std::string url = to.scheme + "://" + (to.host.find(':') != std::string::npos ? "[" + to.host + "]" : to.host);
                if (to.port != 0) url += ":" + std::to_string(to.port);
                url += (to.path.empty() ? "/" : to.path) + (NamesFolder(to) ? EncodePathPart(name) : "") + to.rest;
                items_.push_back(Json{{"Protocol", "wpHttpUpload"}, {"URL", url}, {"HTTPCommand", "hcPut"},
                                      {"TargetDir", WithoutTrailingSlash(DirPart(absolute))}, {"TargetFilename", name}});
            }
            return;
        }
        if (to.kind == Kind::Smb) throw OneLinerError("put: files are copied from shares, not to them; mount the share and put to its folder");
        // A local copy: the files go into a folder, or the one file takes the name given.
        overwrite_ = options_.force || options_.rename || options_.newer;
        createUnique_ = options_.rename;
        const LocalTarget target = TargetOf(to.path, several);
        for (const std::string& file : files) {
            if (HasWildcard(LastPart(file)))
                throw OneLinerError("put: a wildcard in FILE works for FTP and SFTP; for local files let the shell expand it");
            Json item{{"Protocol", "wpFile"}, {"URL", Absolute(file)}, {"TargetDir", target.dir}};
            if (!target.name.empty()) item["TargetFilename"] = target.name;
            Newer(item, target, LastPart(Absolute(file)));
            items_.push_back(item);
        }
    }

    // ls, rm and test: what they act on is on an FTP or SFTP server.
    void OnServer(const std::vector<std::string>& operands) {
        if (operands.empty()) throw OneLinerError(verb_ + ": no URL given");
        if (operands.size() > 1) throw OneLinerError(verb_ + ": one URL only");
        if (options_.newer) throw OneLinerError("--newer is for get and put");
        if (options_.force || options_.rename) throw OneLinerError("--force and --rename are for get and put");
        const Location at = Parse(operands[0]);
        if (at.kind != Kind::Ftp)
            throw OneLinerError(verb_ + " works on ftp://, ftps://, ftpes:// and sftp:// URLs, not on " +
                                (at.kind == Kind::Local ? std::string("local paths") : at.scheme + "://"));
        const std::string remote = RemotePath(at);
        if (verb_ == "test") {
            items_.push_back(FtpItem("wpFtpTest", at, ""));
        } else if (verb_ == "ls") {
            // The folder's entries: a last part without a wildcard names the folder itself.
            std::string url = remote;
            if (!url.empty() && url.back() != '/' && !HasWildcard(LastPart(url))) url += '/';
            items_.push_back(FtpItem("wpFtpList", at, url));
        } else {
            if (NamesFolder(at)) throw OneLinerError("rm: " + at.text + " names a folder; rm removes a file");
            if (HasWildcard(LastPart(remote))) throw OneLinerError("rm: removes one file; a wildcard cannot be used");
            Json item = FtpItem("wpFtpDelete", at, remote);
            // The delete enters the folder and removes the name there.
            if (!DirPart(remote).empty()) item["TargetDir"] = WithoutTrailingSlash(DirPart(remote));
            item["TargetFilename"] = LastPart(remote);
            items_.push_back(item);
        }
    }

    Json FtpItem(const char* protocol, const Location& loc, const std::string& url) {
        Json item{{"Protocol", protocol}, {"URL", url}, {"FTPHost", loc.host}};
        int port = loc.port;
        if (loc.scheme == "ftps") {
            item["FTPSecurity"] = "fsFtpsImplicit";
            if (port == 0) port = 990;
        } else if (loc.scheme == "ftpes") {
            item["FTPSecurity"] = "fsFtpsExplicit";
        } else if (loc.scheme == "sftp") {
            item["FTPSecurity"] = "fsSftp";
            if (port == 0) port = 22;
        }
        item["FTPPort"] = port == 0 ? 21 : port;
        Account(item, loc);
        // Without a password the login comes from ~/.netrc when it has one for the server, as
        // ftp(1) takes it; the job says so instead of holding the password.
        const std::string user = item.value("FTPUserID", std::string());
        if (!loc.hasPassword && FindNetrcLogin(ReadNetrc(), loc.host, user)) {
            job_["Netrc"] = true;
            return item;
        }
        // Over FTP a user name without a password logs in anonymously: the files would go to, or
        // come from, another account than the one named.
        if (loc.scheme != "sftp" && !user.empty() && !loc.hasPassword)
            throw OneLinerError("no password for " + user + ": an FTP login without one is anonymous (give it as " +
                                loc.scheme + "://" + user + ":PASSWORD@" + loc.host + "/..., or put it in " +
                                NetrcPath() + ")");
        return item;
    }

    void Account(Json& item, const Location& loc) {
        const std::string user = options_.user ? *options_.user : loc.user;
        if (!user.empty()) item["FTPUserID"] = user;
        if (loc.hasPassword) Password(item, "FTPPassword", loc.password);
    }

    void Password(Json& item, const char* key, const std::string& password) {
        item[key] = password;
        passwordGiven_ = true;
    }

    // --newer: only a source later than the target that is there now replaces it.
    void Newer(Json& item, const LocalTarget& target, const std::string& sourceName) {
        if (!options_.newer) return;
        item["CopyNewerOnly"] = true;
        const std::string date = FileDateOf(target.dir + "/" + (target.name.empty() ? sourceName : target.name));
        if (!date.empty()) item["FileDate"] = date;
    }

    static std::string WithoutUserInfo(const Location& loc) {
        std::string url = loc.scheme + "://" + (loc.host.find(':') != std::string::npos ? "[" + loc.host + "]" : loc.host);
        if (loc.port != 0) url += ":" + std::to_string(loc.port);
        return url + loc.path + loc.rest;
    }

    std::string verb_;
    const OneLinerOptions& options_;
    Json job_ = Json::object();
    Json items_ = Json::array();
    std::optional<bool> overwrite_;
    bool createUnique_ = false;
    bool passwordGiven_ = false;
};

} // namespace

bool IsOneLinerVerb(const std::string& word) {
    return word == "get" || word == "put" || word == "ls" || word == "rm" || word == "test";
}

OneLinerJob BuildOneLinerJob(const std::string& verb, const std::vector<std::string>& operands,
                             const OneLinerOptions& options) {
    if (!IsOneLinerVerb(verb)) throw OneLinerError("unknown command \"" + verb + "\"");
    return Builder(verb, options).Build(operands);
}

Json MaskPasswords(Json job) {
    if (auto proxy = job.find("ProxyPassword"); proxy != job.end() && proxy->is_string() && !proxy->empty())
        *proxy = kPasswordMask;
    if (auto items = job.find("Items"); items != job.end() && items->is_array())
        for (Json& item : *items)
            for (const char* key : {"FTPPassword", "HTTPPassword"})
                if (auto it = item.find(key); it != item.end() && !(it->is_string() && it->get<std::string>().empty()))
                    *it = kPasswordMask;
    return job;
}

} // namespace zandrel::tools
