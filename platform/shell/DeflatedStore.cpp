#include "platform/shell/DeflatedStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/shell/ShellError.h"

namespace zandrel::shell {
namespace {

int OpenSpillFile(const std::string& folder) {
    // An unnamed file vanishes by itself however the process ends; fall back to a named one that is
    // unlinked at once where the file system cannot make unnamed files.
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    std::string pattern = folder + "/.zandrel-spill-XXXXXX";
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) unlink(pattern.c_str());
    return fd;
}

} // namespace

DeflatedStore::DeflatedStore(std::string spillFolder, uint64_t memoryLimit)
    : spillFolder_(std::move(spillFolder)), memoryLimit_(memoryLimit) {}

DeflatedStore::~DeflatedStore() {
    if (spillFd_ >= 0) close(spillFd_);
}

DeflatedStore::Location DeflatedStore::Put(std::vector<uint8_t>&& bytes) {
    Location where;
    where.length = bytes.size();
    if (inMemory_ + bytes.size() <= memoryLimit_) {
        inMemory_ += bytes.size();
        where.block = blocks_.size();
        blocks_.push_back(std::move(bytes));
        return where;
    }
    if (spillFd_ < 0) {
        spillFd_ = OpenSpillFile(spillFolder_);
        if (spillFd_ < 0) spillFd_ = OpenSpillFile("/tmp");
        if (spillFd_ < 0) throw ShellError(std::string("Cannot make a temporary file: ") + std::strerror(errno));
    }
    where.spilled = true;
    where.offset = spillEnd_;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(spillFd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(spillEnd_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ShellError(std::string("Cannot write a temporary file: ") + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
    spillEnd_ += bytes.size();
    return where;
}

int64_t DeflatedStore::Read(const Location& where, uint64_t offset, void* out, uint64_t length) const {
    if (offset >= where.length) return 0;
    const uint64_t count = std::min(length, where.length - offset);
    if (!where.spilled) {
        std::memcpy(out, blocks_[where.block].data() + offset, static_cast<size_t>(count));
        return static_cast<int64_t>(count);
    }
    uint64_t done = 0;
    while (done < count) {
        const ssize_t n = pread(spillFd_, static_cast<char*>(out) + done, static_cast<size_t>(count - done),
                                static_cast<off_t>(where.offset + offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += static_cast<uint64_t>(n);
    }
    return static_cast<int64_t>(done);
}

} // namespace zandrel::shell
