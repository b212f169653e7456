// SMB shares through libsmbclient. Each connection has its own client context, so its account,
// its timeout and its open files belong to it alone, and freeing the context ends the session.
// Every library call runs on the call thread (CallThread.h): only work running there touches a
// context, and the work holds what it touches, so a call the caller gave up on stays safe.
#include "platform/netshare/NetShare.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <vector>

#include "platform/netshare/CallSockets.h"
#include "platform/netshare/CallThread.h"
#include "platform/netshare/SmbClientLibrary.h"
#include "platform/rtl/PercentEncoding.h"

namespace zandrel::netshare {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Characters that libsmbclient would take for URL syntax are sent percent-encoded.
std::string EncodeUrlPath(const std::string& path) {
    return rtl::PercentEncode(path, [](unsigned char c) {
        constexpr std::string_view kAlsoPlain = "/!$&'()*+,=@";
        return rtl::IsUriUnreserved(c) || kAlsoPlain.find(static_cast<char>(c)) != std::string_view::npos || c >= 0x80;
    });
}

// The reason behind a failed call, in the words of this layer's user.
std::string Reason(int error, const std::string& what, int timeoutMs) {
    switch (error) {
    case EACCES:
    case EPERM: return "the server refused the user name or password for " + what;
    case ENOENT: return what + " does not exist on the server";
    case ENODEV: return "the server has no share named as in " + what;
    case ECONNREFUSED: return "the server refused the connection (" + what + ")";
    case ETIMEDOUT:
        return "the server did not answer within " + std::to_string((timeoutMs + 999) / 1000) + " s (" + what + ")";
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

namespace {

// The library's functions. Only used where a context exists, so it has been loaded.
const detail::SmbClient& Smb() {
    std::string ignored;
    return *detail::LoadSmbClient(ignored);
}

} // namespace

struct ShareConnection::Context {
    // Touched only by work on the call thread.
    SMBCCTX* ctx = nullptr;

    // Set before the first call, then only read.
    std::string workgroup, user, password;
    std::string url;  // smb://server[:port]/share
    std::string name; // as the user gave it, for messages
    int timeoutMs = 0;
    WaitHook keepWaiting;
    // What cutting a call short looks for: the sockets that were there before the connection,
    // and the ports its server may be reached on.
    std::set<ino_t> socketsBefore;
    std::vector<uint16_t> ports;

    // The caller's alone: disconnected, or given up with a call.
    bool closed = false;

    static void Authenticate(SMBCCTX* c, const char*, const char*, char* wg, int wglen, char* un, int unlen,
                             char* pw, int pwlen) {
        auto* self = static_cast<Context*>(Smb().getOptionUserData(c));
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

namespace {

using Context = ShareConnection::Context;

// Work on the call thread: ends the session without asking the server anything more.
void FreeContext(Context& c) {
    if (c.ctx) Smb().freeContext(c.ctx, 1);
    c.ctx = nullptr;
}

// The connection is done with: its context is freed once the call thread gets to it (after a
// call still running there, if one was given up).
void Release(const std::shared_ptr<Context>& c) {
    if (c->closed) return;
    c->closed = true;
    detail::PostCall([c] { FreeContext(*c); });
    detail::ConnectionClosed();
}

// Runs `work` for the connection on the call thread and waits for it. False with `why` when the
// call was given up (cancelled or out of time); the connection is released then.
bool Call(const std::shared_ptr<Context>& c, std::function<void()> work, std::string& why) {
    auto cut = [c] { detail::CutSocketsOpenedSince(c->socketsBefore, c->ports); };
    const auto deadline = detail::Clock::now() + std::chrono::milliseconds(c->timeoutMs);
    const detail::CallOutcome outcome = detail::RunCall(std::move(work), std::move(cut), deadline, c->keepWaiting);
    if (outcome == detail::CallOutcome::Done) return true;
    why = outcome == detail::CallOutcome::Cancelled ? "cancelled" : Reason(ETIMEDOUT, c->name, c->timeoutMs);
    Release(c);
    return false;
}

// Why a call the library answered failed. A timeout gives the connection up as running out of
// our own time does: the session's state is unknown, and waiting again would only add to it.
std::string Failure(const std::shared_ptr<Context>& c, int error, const std::string& what) {
    if (error == ETIMEDOUT) Release(c);
    return Reason(error, what, c->timeoutMs);
}

} // namespace

ShareConnection::ShareConnection(std::shared_ptr<Context> context) : context_(std::move(context)) {}
ShareConnection::~ShareConnection() { Release(context_); }

std::unique_ptr<ShareConnection> ShareConnection::Connect(const std::string& shareName, const std::string& user,
                                                          const std::string& password, int timeoutMs,
                                                          std::string& why, WaitHook keepWaiting) {
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
    context->timeoutMs = timeoutMs;
    context->keepWaiting = std::move(keepWaiting);
    context->ports = address.port ? std::vector<uint16_t>{static_cast<uint16_t>(address.port)}
                                  : std::vector<uint16_t>{445, 139};
    context->socketsBefore = detail::OpenSocketInodes();
    detail::ConnectionOpened();

    // What the call found out: 0 when connected, else the errno, or why the client could not
    // start (no connection was tried then).
    struct Outcome {
        int error = 0;
        std::string startFailed;
    };
    auto outcome = std::make_shared<Outcome>();
    const bool answered = Call(context, [c = context, outcome] {
        const detail::SmbClient* smb = detail::LoadSmbClient(outcome->startFailed);
        if (!smb) return;
        c->ctx = smb->newContext();
        if (!c->ctx) {
            outcome->startFailed = "the SMB client could not be started: " + std::string(std::strerror(errno));
            return;
        }
        smb->setOptionUserData(c->ctx, c.get());
        smb->setFunctionAuthDataWithContext(c->ctx, &Context::Authenticate);
        smb->setTimeout(c->ctx, c->timeoutMs);
        // A wrong password must fail, not quietly turn into a guest session.
        smb->setOptionNoAutoAnonymousLogin(c->ctx, 1);
        smb->setOptionUseKerberos(c->ctx, 0);
        smb->setOptionFallbackAfterKerberos(c->ctx, 1);
        const bool started = smb->initContext(c->ctx) != nullptr;
        detail::StopBeforeExitHandlers(); // the first start registers the library's own
        if (!started) {
            outcome->startFailed = "the SMB client could not be started: " + std::string(std::strerror(errno));
            smb->freeContext(c->ctx, 1);
            c->ctx = nullptr;
            return;
        }
        // Listing the share's top folder proves the server, the account and the share at once.
        SMBCFILE* dir = smb->getFunctionOpendir(c->ctx)(c->ctx, c->url.c_str());
        if (!dir) {
            outcome->error = errno ? errno : EIO;
            return;
        }
        smb->getFunctionClosedir(c->ctx)(c->ctx, dir);
    }, why);
    if (!answered) return nullptr;
    if (!outcome->startFailed.empty() || outcome->error != 0) {
        why = !outcome->startFailed.empty() ? outcome->startFailed
                                            : Reason(outcome->error == ENOENT ? ENODEV : outcome->error, shareName,
                                                     timeoutMs);
        Release(context);
        return nullptr;
    }
    return std::unique_ptr<ShareConnection>(new ShareConnection(std::move(context)));
}

struct ShareFile::Transfer {
    std::vector<char> data;
    ssize_t count = 0;
    int error = 0;
};

ShareFile::ShareFile(std::shared_ptr<ShareConnection::Context> context, void* handle, uint64_t size,
                     rtl::FILETIME modified)
    : context_(std::move(context)), handle_(handle), size_(size), modified_(modified),
      transfer_(std::make_shared<Transfer>()) {}

std::unique_ptr<ShareFile> ShareConnection::OpenRead(const std::string& relativePath, std::string& why) {
    std::string path;
    for (char c : relativePath) path += c == '\\' ? '/' : c;
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    const std::string shown = context_->name + "/" + path;
    if (path.empty()) {
        why = "no file named on " + context_->name;
        return nullptr;
    }
    if (context_->closed) {
        why = "the connection to " + context_->name + " is closed";
        return nullptr;
    }
    struct Opened {
        SMBCFILE* file = nullptr;
        struct stat st {};
        int error = 0;
    };
    auto opened = std::make_shared<Opened>();
    const std::string url = context_->url + "/" + EncodeUrlPath(path);
    if (!Call(context_, [c = context_, opened, url] {
            SMBCFILE* file = c->ctx ? Smb().getFunctionOpen(c->ctx)(c->ctx, url.c_str(), O_RDONLY, 0) : nullptr;
            if (!file) {
                opened->error = errno ? errno : EIO;
                return;
            }
            if (Smb().getFunctionFstat(c->ctx)(c->ctx, file, &opened->st) != 0 || S_ISDIR(opened->st.st_mode)) {
                opened->error = S_ISDIR(opened->st.st_mode) ? EISDIR : errno ? errno : EIO;
                Smb().getFunctionClose(c->ctx)(c->ctx, file);
                return;
            }
            opened->file = file;
        }, why))
        return nullptr;
    if (opened->error != 0) {
        why = Failure(context_, opened->error, shown);
        return nullptr;
    }
    const struct stat& st = opened->st;
    const rtl::FILETIME modified = rtl::UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return std::unique_ptr<ShareFile>(
        new ShareFile(context_, opened->file, static_cast<uint64_t>(st.st_size), modified));
}

bool ShareConnection::Disconnect(std::string& why) {
    if (context_->closed) return true; // given up earlier: nothing more to tell the server
    auto error = std::make_shared<int>(0);
    std::string late;
    const bool answered = Call(context_, [c = context_, error] {
        if (!c->ctx) return;
        // 0: refuses while files are open, which would be a fault of ours; then forced.
        if (Smb().freeContext(c->ctx, 0) != 0) {
            *error = errno ? errno : EBUSY;
            Smb().freeContext(c->ctx, 1);
        }
        c->ctx = nullptr;
    }, late);
    if (!answered) {
        // A Cancel meanwhile is no failure to report; running out of time is.
        if (late == "cancelled") return true;
        why = "the connection to " + context_->name + " did not close: " + late;
        return false;
    }
    Release(context_);
    if (*error != 0) {
        why = "the connection to " + context_->name + " did not close cleanly: " + std::strerror(*error);
        return false;
    }
    return true;
}

ShareFile::~ShareFile() {
    if (!handle_ || context_->closed) return; // freeing the context closes its files
    std::string ignored;
    Call(context_, [c = context_, file = static_cast<SMBCFILE*>(handle_)] {
        if (c->ctx) Smb().getFunctionClose(c->ctx)(c->ctx, file);
    }, ignored);
}

int64_t ShareFile::Read(void* buffer, size_t count, std::string& why) {
    if (context_->closed) {
        why = "the connection to " + context_->name + " is closed";
        return -1;
    }
    if (transfer_->data.size() < count) transfer_->data.resize(count);
    if (!Call(context_, [c = context_, t = transfer_, file = static_cast<SMBCFILE*>(handle_), count] {
            t->count = c->ctx ? Smb().getFunctionRead(c->ctx)(c->ctx, file, t->data.data(), count) : -1;
            t->error = t->count < 0 ? (errno ? errno : EIO) : 0;
        }, why))
        return -1;
    if (transfer_->count < 0) {
        why = Failure(context_, transfer_->error, context_->name);
        return -1;
    }
    std::memcpy(buffer, transfer_->data.data(), static_cast<size_t>(transfer_->count));
    return transfer_->count;
}

} // namespace zandrel::netshare
