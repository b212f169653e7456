#include "platform/shell/DeflatePipeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <libdeflate.h>

namespace zandrel::shell {
namespace {

constexpr const char* kChanged = "changed while it was being packed";

// Reads the whole file into `out` (whose memory is reused from file to file); an empty string on
// success, else the system's reason (kChanged when the file was written to meanwhile: what was
// read may then be part old, part new). Never waits on a pipe that took the file's place.
std::string ReadWholeFile(const std::string& path, ByteBuffer& out, size_t& length) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        close(fd);
        return err == EINVAL ? "not a regular file" : std::strerror(err);
    }
    // One byte more than the file had is asked for: getting it means the file grew meanwhile, and
    // it is not read on (it might grow for ever).
    const size_t limit = static_cast<size_t>(st.st_size) + 1;
    if (out.size() < limit) out.resize(limit);
    size_t done = 0;
    while (true) {
        if (done == limit) {
            close(fd);
            return kChanged;
        }
        const ssize_t n = read(fd, out.data() + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            close(fd);
            return std::strerror(err);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    // The status change time is not compared: it moves also when someone links the file, as
    // another run staging the same project does.
    struct stat after {};
    const bool same = fstat(fd, &after) == 0 && after.st_size == st.st_size &&
                      static_cast<size_t>(after.st_size) == done && after.st_mtim.tv_sec == st.st_mtim.tv_sec &&
                      after.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
    close(fd);
    if (!same) return kChanged;
    length = done;
    return {};
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Larger files are tasted first: a few slices deflated at the fastest level. Data that does not
// shrink there at all (media, archives, compressed resources) is stored as it is: deflating it
// costs as much time as text and gains nothing. Data that shrinks a little gets the fastest level;
// text keeps the level asked for.
constexpr size_t kTasteFrom = 256 * 1024;
constexpr size_t kSliceSize = 16 * 1024;
constexpr size_t kSlices = 4;

enum class Taste { Store, Fast, AsAsked };

Taste TasteOf(libdeflate_compressor* fast, const uint8_t* raw, size_t size) {
    if (size < kTasteFrom) return Taste::AsAsked;
    uint8_t packed[kSliceSize];
    size_t in = 0, out = 0;
    for (size_t i = 0; i < kSlices; ++i) {
        const size_t at = (size - kSliceSize) / (kSlices - 1) * i;
        const size_t n = libdeflate_deflate_compress(fast, raw + at, kSliceSize, packed, sizeof packed);
        in += kSliceSize;
        out += n ? n : kSliceSize;
    }
    if (out * 50 >= in * 49) return Taste::Store; // less than a fiftieth saved
    if (out * 10 >= in * 9) return Taste::Fast;   // less than a tenth
    return Taste::AsAsked;
}

// Deflates into the worker's own `scratch` buffer and keeps an exact-size copy of the result.
// Data that is stored goes into the archive from the file itself, so nothing of it is kept here.
void Deflate(libdeflate_compressor* compressor, const uint8_t* raw, size_t size, ByteBuffer& scratch,
             DeflatedEntry& entry) {
    entry.size = size;
    entry.crc = libdeflate_crc32(0, raw, size);
    entry.deflated = false;
    // An output buffer one byte short of the input: libdeflate answers 0 when the result would not
    // be smaller.
    if (compressor && size > 1) {
        if (scratch.size() < size - 1) scratch.resize(size - 1);
        const size_t n = libdeflate_deflate_compress(compressor, raw, size, scratch.data(), size - 1);
        if (n > 0) {
            entry.data.assign(scratch.data(), scratch.data() + n);
            entry.deflated = true;
        }
    }
}

} // namespace

DeflatePipeline::DeflatePipeline(std::vector<std::string> paths, int level, int workers, size_t window)
    : paths_(std::move(paths)), entries_(paths_.size()), ready_(paths_.size(), 0), taken_(paths_.size(), 0),
      window_(window < 1 ? 1 : window) {
    if (workers < 1) workers = 1;
    try {
        for (int i = 0; i < workers; ++i) workers_.emplace_back([this, level] { Work(level); });
    } catch (...) {
        // Thread creation failed part-way: stop those that did start before giving up.
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& t : workers_) t.join();
        throw;
    }
}

DeflatePipeline::~DeflatePipeline() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& t : workers_) t.join();
}

bool DeflatePipeline::MayStart(size_t index) const {
    return index < takenFront_ + window_ || index <= wanted_;
}

void DeflatePipeline::Work(int level) {
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(level));
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> fast(libdeflate_alloc_compressor(1));
    // Kept from file to file: fresh memory for every file costs more in page faults than the
    // compressing itself on small files.
    ByteBuffer raw, scratch;
    while (true) {
        size_t index;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || next_ >= paths_.size() || MayStart(next_); });
            if (stopping_ || next_ >= paths_.size()) return;
            index = next_++;
        }
        DeflatedEntry entry;
        try {
            size_t length = 0;
            if (!compressor || !fast) {
                entry.error = "cannot set up the compressor";
            } else {
                entry.error = ReadWholeFile(paths_[index], raw, length);
                entry.changed = entry.error == kChanged;
                if (entry.error.empty()) {
                    const Taste taste = TasteOf(fast.get(), raw.data(), length);
                    libdeflate_compressor* use = taste == Taste::Store  ? nullptr
                                                 : taste == Taste::Fast ? fast.get()
                                                                        : compressor.get();
                    Deflate(use, raw.data(), length, scratch, entry);
                }
            }
        } catch (const std::bad_alloc&) {
            entry = DeflatedEntry{};
            entry.error = "not enough memory";
        }
        {
            std::lock_guard guard(lock_);
            entries_[index] = std::move(entry);
            ready_[index] = 1;
        }
        changed_.notify_all();
    }
}

DeflatedEntry DeflatePipeline::Take(size_t index) {
    DeflatedEntry entry;
    {
        std::unique_lock guard(lock_);
        if (index > wanted_) wanted_ = index; // the workers may start this far ahead now
        changed_.notify_all();
        changed_.wait(guard, [&] { return ready_[index] != 0; });
        entry = std::move(entries_[index]);
        taken_[index] = 1;
        while (takenFront_ < taken_.size() && taken_[takenFront_]) ++takenFront_;
    }
    changed_.notify_all();
    return entry;
}

} // namespace zandrel::shell
