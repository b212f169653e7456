#pragma once
// The handle table and the state behind each kind of handle. The API hands out numbers, never
// pointers, so a handle that was closed (or never existed) is refused instead of dereferenced.
// Per-connection state (the FTP session) is kept apart from per-transfer state (a find or file).
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/inet/Failure.h"
#include "platform/inet/Inet.h"
#include "platform/inet/Wait.h"

namespace zandrel::inet::detail {
struct HttpIdlePool;
}

namespace zandrel::inet::detail {

enum class HandleKind { Root, Connection, Find, File, Request };

struct Handle {
    explicit Handle(HandleKind kind) : kind(kind) {}
    virtual ~Handle() = default;
    // Ends whatever the handle holds open; false (with the last error set) when that went wrong.
    virtual bool Close() { return true; }

    const HandleKind kind;
    DWORD_PTR context = 0;
    HINTERNET self = nullptr;
    HINTERNET parent = nullptr;
    std::vector<HINTERNET> children; // guarded by the table's lock
};

// Where the root's proxy settings came from and what they say; HTTP uses them, FTP goes direct.
struct ProxySettings {
    std::string ftpProxy;  // "host:port", empty for none
    std::string httpProxy; // "host:port", empty for none
    std::string httpsProxy; // "host:port", empty for none
    std::string user, password; // the proxy's credentials, from "user:password@" in its setting
    std::string bypass;    // comma or blank separated host list
};

struct RootHandle : Handle {
    RootHandle() : Handle(HandleKind::Root) {}
    std::string agent;
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    ProxySettings proxy;
    Timeouts timeouts;
    // HTTP connections whose last response was read to its end, for reuse by the next request
    // to the same server; closed with the root.
    std::shared_ptr<HttpIdlePool> idleChannels;
};

// Registers `handle` as a child of `parent` (null for a root) and returns its number.
HINTERNET RegisterHandle(std::shared_ptr<Handle> handle, HINTERNET parent);

// The live handle of that number, or throws ERROR_INVALID_HANDLE.
std::shared_ptr<Handle> LookupHandle(HINTERNET handle);

// The live handle of that number and kind; ERROR_INTERNET_INCORRECT_HANDLE_TYPE for another kind.
template <class T>
std::shared_ptr<T> LookupAs(HINTERNET handle, HandleKind kind) {
    std::shared_ptr<Handle> found = LookupHandle(handle);
    if (found->kind != kind) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return std::static_pointer_cast<T>(found);
}

// Takes the handle and all of its descendants out of the table, deepest first, so that they can
// be closed in that order. Empty when the number is unknown.
std::vector<std::shared_ptr<Handle>> UnregisterTree(HINTERNET handle);

} // namespace zandrel::inet::detail
