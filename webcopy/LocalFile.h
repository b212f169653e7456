#pragma once
// The local side of the transfers: a file that closes itself, written whole or not at all, and
// the I/O error the transfer loops raise when the local disk fails under them.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/inet/Inet.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"

namespace zandrel::webcopy {

// A name for a file in transit, local or remote, that becomes the real one only once complete:
// a dot file ending in ".part", so it neither clashes with the user's files nor turns up in
// listings of the user's own patterns (*.zip, Demo*), with 48 random bits, so two transfers
// into one folder never share one. Each thread draws from a generator of its own: components
// run on several threads at once, and a shared one would be a data race that can hand two of
// them the same name.
inline std::string TransferTemporaryName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char text[40];
    std::snprintf(text, sizeof text, ".zandrel-%012" PRIx64 ".part", random() & 0xFFFFFFFFFFFFu);
    return text;
}

// A local read or write that failed under a transfer: the whole message, and the system's words
// for the cause on their own ("No space left on device"), which become the item's reason.
class LocalFileError : public rtl::Error {
public:
    LocalFileError(const std::string& message, int error)
        : rtl::Error(message + ": " + std::strerror(error)), reason_(std::strerror(error)) {}
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile() {
        Close();
        if (!tempPath_.empty()) rtl::DeleteFile(tempPath_); // never published: not complete
    }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // An existing regular file, for reading (errno says why not, for the error message).
    bool OpenRead(const std::string& path) { return file_.OpenForReading(path); }
    // For a file that `path` shows only once it is complete: the data goes to a temporary file
    // beside it (a dot file ending in ".part"), which Publish renames to `path`; one that is never
    // published is removed. So an existing file is replaced only by a complete one, and a broken
    // or cancelled transfer leaves no short file under the name. A symbolic link at `path` is
    // replaced by the file, never written through: what it points to may lie outside the folder
    // named for the download. Anything else there (a folder, a pipe, a device) cannot be swapped
    // for a file and is refused with errno EISDIR or EINVAL, without being opened: a pipe with
    // no reader would hold the open for ever.
    bool CreateReplacing(const std::string& path) {
        const rtl::PathKind kind = rtl::KindOfPath(path);
        if (kind == rtl::PathKind::Directory || kind == rtl::PathKind::Other) {
            errno = kind == rtl::PathKind::Directory ? EISDIR : EINVAL;
            return false;
        }
        const int mode = kind == rtl::PathKind::File ? rtl::FilePermissions(path) : -1;
        const size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::string temp = dir + TransferTemporaryName();
            if (file_.CreateNew(temp)) {
                // The new copy keeps the permissions the old one had, as writing over it would.
                if (mode >= 0) file_.SetPermissions(mode);
                writing_ = true;
                tempPath_ = temp;
                finalPath_ = path;
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }
    // After Finish: the complete file takes its name. False (errno telling why) when it cannot;
    // the temporary file is removed then.
    bool Publish() {
        if (tempPath_.empty()) return true;
        const bool ok = rtl::RenameFile(tempPath_, finalPath_);
        const int error = errno;
        if (!ok) rtl::DeleteFile(tempPath_);
        tempPath_.clear();
        errno = error;
        return ok;
    }
    uint64_t Size() const { return file_.Size(); }
    // The open file, for copies the kernel does itself (nothing collected by Write yet).
    rtl::OpenFile& File() { return file_; }

    // The next `count` bytes of the file, in place (valid until the next call); fewer only at the
    // end of the file. The transfers move 4 KB blocks; the disk is read in larger runs, so a
    // block costs neither a system call nor a copy of its own.
    size_t ReadBlock(const char*& data, size_t count, const std::string& path) {
        if (bufferEnd_ - bufferPos_ < count) Refill(count, path);
        const size_t take = std::min(count, bufferEnd_ - bufferPos_);
        data = buffer_.data() + bufferPos_;
        bufferPos_ += take;
        return take;
    }
    // Collects blocks and writes them in larger runs; Finish writes the rest.
    void Write(const void* buffer, size_t count, const std::string& path) {
        if (buffer_.empty()) buffer_.resize(kRunSize);
        if (bufferEnd_ + count > buffer_.size()) Flush(path);
        if (count >= buffer_.size()) {
            WriteAll(buffer, count, path);
            return;
        }
        std::memcpy(buffer_.data() + bufferEnd_, buffer, count);
        bufferEnd_ += count;
    }
    // Writes what is still collected and closes; closing can also report a late write failure.
    void Finish(const std::string& path) {
        if (file_.IsOpen()) Flush(path);
        if (!file_.Close()) ThrowFailure("Error writing to destination file ", path);
    }
    // Without Finish: what was collected for writing is written where possible (a transfer that
    // broke off keeps what it received), errors are ignored.
    void Close() {
        if (file_.IsOpen() && writing_ && bufferEnd_ > 0) {
            try {
                Flush({});
            } catch (const LocalFileError&) {
            }
        }
        file_.Close();
        bufferPos_ = bufferEnd_ = 0;
    }

private:
    static constexpr size_t kRunSize = 256 * 1024;

    // errno is taken before the message is built, which may allocate and change it.
    [[noreturn]] static void ThrowFailure(const char* what, const std::string& path) {
        const int error = errno;
        throw LocalFileError(what + path, error);
    }

    // Keeps the unread rest and reads on until `count` bytes are there or the file ends; a short
    // read (a network file system) never makes a short block in mid-file.
    void Refill(size_t count, const std::string& path) {
        if (buffer_.size() < std::max(kRunSize, count)) buffer_.resize(std::max(kRunSize, count));
        const size_t rest = bufferEnd_ - bufferPos_;
        if (rest > 0 && bufferPos_ > 0) std::memmove(buffer_.data(), buffer_.data() + bufferPos_, rest);
        bufferPos_ = 0;
        bufferEnd_ = rest;
        while (bufferEnd_ < count) {
            const int64_t n = file_.Read(buffer_.data() + bufferEnd_, buffer_.size() - bufferEnd_);
            if (n < 0) ThrowFailure("Error reading source file ", path);
            if (n == 0) break;
            bufferEnd_ += static_cast<size_t>(n);
        }
    }
    void Flush(const std::string& path) {
        const size_t pending = bufferEnd_;
        bufferEnd_ = 0;
        WriteAll(buffer_.data(), pending, path);
    }
    void WriteAll(const void* data, size_t count, const std::string& path) {
        if (!file_.WriteAll(data, count)) ThrowFailure("Error writing to destination file ", path);
    }

    rtl::OpenFile file_;
    std::string tempPath_;  // CreateReplacing: where the data goes until it is published
    std::string finalPath_;
    bool writing_ = false;
    std::vector<char> buffer_;
    size_t bufferPos_ = 0; // reading: the next unread byte
    size_t bufferEnd_ = 0; // reading: the end of what was read; writing: what is collected
};

// An Internet handle that is closed when it goes out of scope, unless released.
class ScopedInetHandle {
public:
    explicit ScopedInetHandle(inet::HINTERNET handle = nullptr) : handle_(handle) {}
    ~ScopedInetHandle() { Close(); }
    ScopedInetHandle(const ScopedInetHandle&) = delete;
    ScopedInetHandle& operator=(const ScopedInetHandle&) = delete;
    inet::HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(inet::HINTERNET handle) {
        Close();
        handle_ = handle;
    }
    // Hands the handle over to the caller, who closes it.
    inet::HINTERNET Release() { return std::exchange(handle_, nullptr); }
    // True when the handle closed cleanly (for a written file: the server confirmed it).
    bool Close() {
        const bool ok = handle_ ? inet::InternetCloseHandle(handle_) : true;
        handle_ = nullptr;
        return ok;
    }

private:
    inet::HINTERNET handle_ = nullptr;
};

} // namespace zandrel::webcopy
