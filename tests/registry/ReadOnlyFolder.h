#pragma once
// Makes a folder read-only for this process while the object lives. Permission bits do not stop
// root (tests run as root in CI), so there the folder is bind-mounted read-only onto itself, in a
// mount namespace of this process's own that vanishes with it; elsewhere the folder's write bits
// are taken away. Where neither works, ok() is false and why() says what failed, for a skip.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zandrel::registry::testing {

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string path) : path_(std::move(path)) { ok_ = Lock() && Proven(); }
    ~ReadOnlyFolder() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        if (chmodded_) ::chmod(path_.c_str(), oldMode_);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    // The system's words for a write refused there.
    std::string systemError() const { return std::strerror(mounted_ ? EROFS : EACCES); }

private:
    bool Lock() {
        if (::geteuid() != 0) {
            struct stat info {};
            if (::stat(path_.c_str(), &info) != 0) return Fail("stat");
            oldMode_ = info.st_mode & 07777;
            if (::chmod(path_.c_str(), 0555) != 0) return Fail("chmod");
            chmodded_ = true;
            return true;
        }
        if (!PrivateMounts()) return false;
        if (::mount(path_.c_str(), path_.c_str(), nullptr, MS_BIND, nullptr) != 0) return Fail("bind mount");
        mounted_ = true;
        if (::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return Fail("read-only remount");
        return true;
    }

    // No new entry can be made there.
    bool Proven() {
        const std::string probe = path_ + "/.write-probe";
        if (::mkdir(probe.c_str(), 0700) != 0) return true;
        ::rmdir(probe.c_str());
        why_ = "the folder still takes new entries";
        return false;
    }

    bool Fail(const char* step) {
        why_ = std::string("cannot make a read-only folder (") + step + ": " + std::strerror(errno) + ")";
        return false;
    }

    // Mounts made after this stay inside this process.
    bool PrivateMounts() {
        static int state = 0; // 0 not tried, 1 done, -1 failed
        static std::string failure;
        if (state == 0) {
            if (::unshare(CLONE_NEWNS) != 0) failure = std::string("unshare: ") + std::strerror(errno);
            else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                failure = std::string("private mounts: ") + std::strerror(errno);
            state = failure.empty() ? 1 : -1;
        }
        if (state < 0) why_ = "cannot make a read-only folder (" + failure + ")";
        return state > 0;
    }

    std::string path_;
    mode_t oldMode_ = 0;
    bool chmodded_ = false;
    bool mounted_ = false;
    bool ok_ = false;
    std::string why_;
};

} // namespace zandrel::registry::testing
