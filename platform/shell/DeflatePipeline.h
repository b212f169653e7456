#pragma once
// Reads files and deflates them with libdeflate on worker threads, a few entries ahead of the
// archive writer that consumes them in order. At most `window` entries are held in memory at a
// time (more only when the writer asks for one further ahead), so memory stays bounded by the
// window times the entry size, however many files the archive gets.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace zandrel::shell {

// Bytes whose memory is not cleared when the buffer grows: it is read into right after.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using ByteBuffer = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

struct DeflatedEntry {
    std::vector<uint8_t> data;  // deflated: the entry's bytes as they go into the archive; stored: empty
    uint64_t size = 0;          // the file's own size
    uint32_t crc = 0;           // CRC-32 of the file's own bytes
    bool deflated = false;      // false: stored, because deflate did not make it smaller
    std::string error;          // why the file could not be read; nothing else is then valid
    bool changed = false;       // the error is that the file changed while it was read
};

class DeflatePipeline {
public:
    DeflatePipeline(std::vector<std::string> paths, int level, int workers, size_t window);
    ~DeflatePipeline(); // stops the workers and joins them
    DeflatePipeline(const DeflatePipeline&) = delete;
    DeflatePipeline& operator=(const DeflatePipeline&) = delete;

    // Blocks until entry `index` is ready and hands it over; the workers may then move on. Each
    // entry is taken once.
    DeflatedEntry Take(size_t index);

private:
    void Work(int level);
    bool MayStart(size_t index) const; // under lock_

    std::vector<std::string> paths_;
    std::vector<DeflatedEntry> entries_;
    std::vector<uint8_t> ready_;
    std::vector<uint8_t> taken_;
    size_t window_;
    size_t next_ = 0;          // the next entry a worker will take
    size_t takenFront_ = 0;    // every entry before it has been taken
    size_t wanted_ = 0;        // the writer waits for entries up to here
    bool stopping_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
};

} // namespace zandrel::shell
