#pragma once
// Holds deflated entry data from the moment it is compressed until libzip writes it out when the
// archive is closed. Small totals stay in memory; past a limit the data goes to an unnamed
// temporary file, so a large project does not have to fit in memory twice.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zandrel::shell {

class DeflatedStore {
public:
    struct Location {
        size_t block = 0;        // index of the in-memory block, when in memory
        uint64_t offset = 0;     // position in the spill file, when spilled
        uint64_t length = 0;
        bool spilled = false;
    };

    // `spillFolder` is where the temporary file is made (the archive's folder: same disk).
    DeflatedStore(std::string spillFolder, uint64_t memoryLimit);
    ~DeflatedStore();
    DeflatedStore(const DeflatedStore&) = delete;
    DeflatedStore& operator=(const DeflatedStore&) = delete;

    // Raises ShellError when the spill file cannot be written.
    Location Put(std::vector<uint8_t>&& bytes);
    // Copies up to `length` bytes from `offset` within the stored data; the count copied, or -1.
    int64_t Read(const Location& where, uint64_t offset, void* out, uint64_t length) const;

private:
    std::string spillFolder_;
    uint64_t memoryLimit_;
    uint64_t inMemory_ = 0;
    std::vector<std::vector<uint8_t>> blocks_;
    int spillFd_ = -1;
    uint64_t spillEnd_ = 0;
};

} // namespace zandrel::shell
