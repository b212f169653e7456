#pragma once
// Reads an archive's central directory byte by byte, independently of libzip, so the tests see
// what any unzip tool would see: names, flags, methods, sizes and the DOS time stamps.
#include <cstdint>
#include <string>
#include <vector>

namespace zandrel::shell::testing {

struct CentralEntry {
    std::string name;
    uint16_t flags = 0;  // bit 11: the name is UTF-8
    uint16_t method = 0; // 0 stored, 8 deflated
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
};

// Throws std::runtime_error when the file has no readable end record or directory.
std::vector<CentralEntry> ReadCentralDirectory(const std::string& archivePath);

// The DOS date and time that a modification time gets, in local time (2-second steps).
void ToDosTime(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime);

} // namespace zandrel::shell::testing
