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

// Reads the whole file; an empty string on success, else what went wrong.
std::string ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open \"" + path + "\": " + std::strerror(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        return "cannot read \"" + path + "\": " + std::strerror(err);
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (true) {
        if (done == out.size()) out.resize(out.size() + 65536); // the file grew meanwhile
        const ssize_t n = read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            close(fd);
            return "cannot read \"" + path + "\": " + std::strerror(err);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    out.resize(done);
    return {};
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Larger files are tasted first: a few slices deflated at the fastest level. Data that barely
// shrinks there (media, compiled resources, archives) gains nothing from a slower level, so it
// gets the fastest one; text keeps the level asked for.
constexpr size_t kTasteFrom = 256 * 1024;
constexpr size_t kSliceSize = 16 * 1024;
constexpr size_t kSlices = 4;

bool BarelyShrinks(libdeflate_compressor* fast, const std::vector<uint8_t>& raw) {
    if (raw.size() < kTasteFrom) return false;
    uint8_t packed[kSliceSize];
    size_t in = 0, out = 0;
    for (size_t i = 0; i < kSlices; ++i) {
        const size_t at = (raw.size() - kSliceSize) / (kSlices - 1) * i;
        const size_t n = libdeflate_deflate_compress(fast, raw.data() + at, kSliceSize, packed, sizeof packed);
        in += kSliceSize;
        out += n ? n : kSliceSize;
    }
    return out * 10 >= in * 9; // less than a tenth saved
}

void Deflate(libdeflate_compressor* compressor, std::vector<uint8_t>& raw, DeflatedEntry& entry) {
    entry.size = raw.size();
    entry.crc = libdeflate_crc32(0, raw.data(), raw.size());
    // An output buffer one byte short of the input: libdeflate answers 0 when the result would not
    // be smaller, and such data is better stored as it is.
    if (raw.size() > 1) {
        std::vector<uint8_t> packed(raw.size() - 1);
        const size_t n = libdeflate_deflate_compress(compressor, raw.data(), raw.size(), packed.data(), packed.size());
        if (n > 0) {
            packed.resize(n);
            packed.shrink_to_fit();
            entry.data = std::move(packed);
            entry.deflated = true;
            return;
        }
    }
    entry.data = std::move(raw);
    entry.deflated = false;
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
    while (true) {
        size_t index;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || next_ >= paths_.size() || MayStart(next_); });
            if (stopping_ || next_ >= paths_.size()) return;
            index = next_++;
        }
        DeflatedEntry entry;
        std::vector<uint8_t> raw;
        try {
            if (!compressor || !fast) {
                entry.error = "cannot set up the compressor";
            } else {
                entry.error = ReadWholeFile(paths_[index], raw);
                if (entry.error.empty())
                    Deflate(BarelyShrinks(fast.get(), raw) ? fast.get() : compressor.get(), raw, entry);
            }
        } catch (const std::bad_alloc&) {
            entry = DeflatedEntry{};
            entry.error = "not enough memory for \"" + paths_[index] + "\"";
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
