// SMB shares through libsmbclient. Each connection has its own client context, so its account,
// its timeout and its open files belong to it alone, and freeing the context ends the session.
#include "platform/netshare/NetShare.h"

#include <libsmbclient.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace zandrel::netshare {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Characters that libsmbclient would take for URL syntax are sent percent-encoded.
std::string EncodeUrlPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~!$&'()*+,=@", c) || c >= 0x80) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The reason behind a failed call, in the words of this layer's user.
std::string Reason(int error, const std::string& what) {
    switch (error) {
    case EACCES:
    case EPERM: return "the server refused the user name or password for " + what;
    case ENOENT: return what + " does not exist on the server";
    case ENODEV: return "the server has no share named as in " + what;
    case ECONNREFUSED: return "the server refused the connection (" + what + ")";
    case ETIMEDOUT: return "the server did not answer in time (" + what + ")";
    case EHOSTUNREACH:
    case ENETUNREACH: return "the server cannot be reached (" + what + ")";
    case EISDIR: return what + " is a folder, not a file";
    default: return what + ": " + std::strerror(error);
    }
}

} // namespace

bool ParseShareName(const std::string& text, ShareAddress& address, std::string& why) {
    std::string rest;
    if (text.size() > 6 && (text.compare(0, 6, "smb://") == 0 || text.compare(0, 6, "SMB://") == 0))
        rest = text.substr(6);
    else if (text.size() > 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
        rest = text.substr(2);
    else {
        why = "\"" + text + "\" is no share name (\\\\server\\share, //server/share or smb://server/share)";
        return false;
    }
    while (!rest.empty() && IsSeparator(rest.back())) rest.pop_back();
    size_t cut = 0;
    while (cut < rest.size() && !IsSeparator(rest[cut])) ++cut;
    std::string host = rest.substr(0, cut);
    std::string share = cut < rest.size() ? rest.substr(cut + 1) : std::string();
    for (char c : share)
        if (IsSeparator(c)) share.clear(); // a path after the share: not a share name
    address = {};
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        const std::string digits = host.substr(colon + 1);
        int port = 0;
        bool ok = !digits.empty() && digits.size() <= 5;
        for (char c : digits) {
            if (c < '0' || c > '9') ok = false;
            else port = port * 10 + (c - '0');
        }
        if (!ok || port < 1 || port > 65535) {
            why = "\"" + text + "\" has no valid port";
            return false;
        }
        address.port = port;
        host.resize(colon);
    }
    if (host.empty() || share.empty()) {
        why = "\"" + text + "\" does not name a server and a share";
        return false;
    }
    address.server = host;
    address.share = share;
    return true;
}

struct ShareConnection::Context {
    SMBCCTX* ctx = nullptr;
    std::string url; // smb://server[:port]/share
    std::string name; // as the user gave it, for messages
    std::string workgroup, user, password;

    ~Context() {
        if (ctx) smbc_free_context(ctx, 1);
    }

    static void Authenticate(SMBCCTX* c, const char*, const char*, char* wg, int wglen, char* un, int unlen,
                             char* pw, int pwlen) {
        auto* self = static_cast<Context*>(smbc_getOptionUserData(c));
        auto put = [](char* to, int length, const std::string& value) {
            if (length <= 0) return;
            const size_t n = std::min(value.size(), static_cast<size_t>(length - 1));
            std::memcpy(to, value.data(), n);
            to[n] = '\0';
        };
        if (!self->workgroup.empty()) put(wg, wglen, self->workgroup);
        put(un, unlen, self->user);
        put(pw, pwlen, self->password);
    }
};

ShareConnection::ShareConnection(std::shared_ptr<Context> context) : context_(std::move(context)) {}
ShareConnection::~ShareConnection() = default;

std::unique_ptr<ShareConnection> ShareConnection::Connect(const std::string& shareName, const std::string& user,
                                                          const std::string& password, int timeoutMs,
                                                          std::string& why) {
    ShareAddress address;
    if (!ParseShareName(shareName, address, why)) return nullptr;
    auto context = std::make_shared<Context>();
    context->name = shareName;
    context->url = "smb://" + EncodeUrlPath(address.server) +
                   (address.port ? ":" + std::to_string(address.port) : std::string()) + "/" +
                   EncodeUrlPath(address.share);
    const size_t slash = user.find('\\');
    if (slash != std::string::npos) {
        context->workgroup = user.substr(0, slash);
        context->user = user.substr(slash + 1);
    } else {
        context->user = user;
    }
    context->password = password;

    context->ctx = smbc_new_context();
    if (!context->ctx) {
        why = "the SMB client could not be started: " + std::string(std::strerror(errno));
        return nullptr;
    }
    smbc_setOptionUserData(context->ctx, context.get());
    smbc_setFunctionAuthDataWithContext(context->ctx, &Context::Authenticate);
    smbc_setTimeout(context->ctx, timeoutMs);
    // A wrong password must fail, not quietly turn into a guest session.
    smbc_setOptionNoAutoAnonymousLogin(context->ctx, 1);
    smbc_setOptionUseKerberos(context->ctx, 0);
    smbc_setOptionFallbackAfterKerberos(context->ctx, 1);
    if (!smbc_init_context(context->ctx)) {
        why = "the SMB client could not be started: " + std::string(std::strerror(errno));
        smbc_free_context(context->ctx, 1);
        context->ctx = nullptr;
        return nullptr;
    }
    // Listing the share's top folder proves the server, the account and the share at once.
    SMBCFILE* dir = smbc_getFunctionOpendir(context->ctx)(context->ctx, context->url.c_str());
    if (!dir) {
        const int error = errno;
        why = Reason(error == ENOENT ? ENODEV : error, shareName);
        return nullptr;
    }
    smbc_getFunctionClosedir(context->ctx)(context->ctx, dir);
    return std::unique_ptr<ShareConnection>(new ShareConnection(std::move(context)));
}

std::unique_ptr<ShareFile> ShareConnection::OpenRead(const std::string& relativePath, std::string& why) {
    std::string path;
    for (char c : relativePath) path += c == '\\' ? '/' : c;
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    const std::string shown = context_->name + "/" + path;
    if (path.empty()) {
        why = "no file named on " + context_->name;
        return nullptr;
    }
    const std::string url = context_->url + "/" + EncodeUrlPath(path);
    SMBCCTX* ctx = context_->ctx;
    SMBCFILE* file = smbc_getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
    if (!file) {
        why = Reason(errno, shown);
        return nullptr;
    }
    struct stat st {};
    if (smbc_getFunctionFstat(ctx)(ctx, file, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        smbc_getFunctionClose(ctx)(ctx, file);
        why = Reason(error, shown);
        return nullptr;
    }
    const rtl::FILETIME modified = rtl::UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return std::unique_ptr<ShareFile>(new ShareFile(context_, file, static_cast<uint64_t>(st.st_size), modified));
}

bool ShareConnection::Disconnect(std::string& why) {
    if (!context_->ctx) return true;
    // 0: refuses while files are open, which would be a fault of ours; then forced.
    const bool clean = smbc_free_context(context_->ctx, 0) == 0;
    if (!clean) {
        why = "the connection to " + context_->name + " did not close cleanly: " + std::strerror(errno);
        smbc_free_context(context_->ctx, 1);
    }
    context_->ctx = nullptr;
    return clean;
}

ShareFile::~ShareFile() {
    if (handle_ && context_->ctx) smbc_getFunctionClose(context_->ctx)(context_->ctx, static_cast<SMBCFILE*>(handle_));
}

int64_t ShareFile::Read(void* buffer, size_t count, std::string& why) {
    if (!context_->ctx) {
        why = "the connection to " + context_->name + " is closed";
        return -1;
    }
    const ssize_t n = smbc_getFunctionRead(context_->ctx)(context_->ctx, static_cast<SMBCFILE*>(handle_), buffer, count);
    if (n < 0) {
        why = Reason(errno, context_->name);
        return -1;
    }
    return n;
}

} // namespace zandrel::netshare
