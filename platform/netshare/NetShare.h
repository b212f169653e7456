#pragma once
// Files on SMB/CIFS shares: connecting to a share with an account, reading one of its files,
// and disconnecting. A share is named as \\server\share, //server/share or
// smb://server[:port]/share.
//
// Every call waits at most the connection's timeout, and meanwhile runs the connection's wait
// hook at least every 50 ms (a user interface stays alive). When the hook returns false the call
// is given up at once and fails with the reason "cancelled"; so does one that runs out of time,
// with the timeout as its reason. A connection whose call was given up is closed for good: its
// later calls fail at once, and disconnecting it reports nothing more.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/rtl/DateTime.h"

namespace zandrel::netshare {

// Where a share is: server, port (0: the standard one) and share name.
struct ShareAddress {
    std::string server;
    int port = 0;
    std::string share;
};

// Parses the three spellings above; false (with `why` telling the user what is wrong) for
// anything else, e.g. a name without a share or with a path after it.
bool ParseShareName(const std::string& text, ShareAddress& address, std::string& why);

class ShareFile;

// One connection to one share, closed when the object goes.
class ShareConnection {
public:
    // Runs on the calling thread while a call waits; false gives the call up (see above).
    using WaitHook = std::function<bool()>;

    // Connects as `user` (may be "DOMAIN\user"; empty: as guest) with `password` and checks that
    // the share can be listed. Null on failure, with `why` in words a person can act on (wrong
    // user or password, no such share, server not reachable, timeout, "cancelled").
    static std::unique_ptr<ShareConnection> Connect(const std::string& shareName, const std::string& user,
                                                    const std::string& password, int timeoutMs, std::string& why,
                                                    WaitHook keepWaiting = {});
    ~ShareConnection();
    ShareConnection(const ShareConnection&) = delete;
    ShareConnection& operator=(const ShareConnection&) = delete;

    // A file of the share, by its path inside the share ("dir/f.zip" or "dir\f.zip"), for
    // reading. Null with `why` when it cannot be opened (missing, a folder, no permission).
    std::unique_ptr<ShareFile> OpenRead(const std::string& relativePath, std::string& why);

    // Ends the connection; false with `why` when the server could not be told cleanly or in time.
    // Open files of the connection must be closed (destroyed) first.
    bool Disconnect(std::string& why);

    // The connection's state, shared with its files and with calls still running; the
    // implementation's own.
    struct Context;

private:
    explicit ShareConnection(std::shared_ptr<Context> context);
    // Shared with the open files, so a file that outlives its connection stays safe to close.
    std::shared_ptr<Context> context_;
    friend class ShareFile;
};

// An open file of a share. Once its connection is closed, reads fail.
class ShareFile {
public:
    ~ShareFile(); // closes the file on the server (waiting as any call does)
    ShareFile(const ShareFile&) = delete;
    ShareFile& operator=(const ShareFile&) = delete;

    uint64_t Size() const { return size_; }
    // Last write time (UTC).
    rtl::FILETIME LastWriteTime() const { return modified_; }
    // Up to `count` bytes into `buffer`; 0 at the end, -1 on failure with `why`.
    int64_t Read(void* buffer, size_t count, std::string& why);

private:
    friend class ShareConnection;
    struct Transfer;
    ShareFile(std::shared_ptr<ShareConnection::Context> context, void* handle, uint64_t size, rtl::FILETIME modified);
    std::shared_ptr<ShareConnection::Context> context_;
    void* handle_;
    uint64_t size_;
    rtl::FILETIME modified_;
    // Where a read puts the data: owned with the call, so a read given up on never writes into
    // a buffer its caller has freed.
    std::shared_ptr<Transfer> transfer_;
};

} // namespace zandrel::netshare
