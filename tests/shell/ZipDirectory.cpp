#include "shell/ZipDirectory.h"

#include <ctime>
#include <stdexcept>

#include "support/RunProcess.h"

namespace zandrel::shell::testing {
namespace {

uint32_t Le(const std::string& b, size_t at, int bytes) {
    if (at + static_cast<size_t>(bytes) > b.size()) throw std::runtime_error("truncated archive");
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

} // namespace

std::vector<CentralEntry> ReadCentralDirectory(const std::string& archivePath) {
    const std::string b = zandrel::testing::ReadFile(archivePath);
    if (b.size() < 22) throw std::runtime_error("too short for a ZIP");
    size_t eocd = std::string::npos;
    for (size_t i = b.size() - 22 + 1; i-- > 0 && b.size() - i <= 22 + 65535 + 2;)
        if (b.compare(i, 4, "PK\x05\x06") == 0) {
            eocd = i;
            break;
        }
    if (eocd == std::string::npos) throw std::runtime_error("no end record");
    const uint32_t count = Le(b, eocd + 10, 2);
    size_t at = Le(b, eocd + 16, 4);
    std::vector<CentralEntry> entries;
    for (uint32_t n = 0; n < count; ++n) {
        if (Le(b, at, 4) != 0x02014b50) throw std::runtime_error("bad central directory record");
        CentralEntry e;
        e.flags = static_cast<uint16_t>(Le(b, at + 8, 2));
        e.method = static_cast<uint16_t>(Le(b, at + 10, 2));
        e.dosTime = static_cast<uint16_t>(Le(b, at + 12, 2));
        e.dosDate = static_cast<uint16_t>(Le(b, at + 14, 2));
        e.crc = Le(b, at + 16, 4);
        e.compressedSize = Le(b, at + 20, 4);
        e.size = Le(b, at + 24, 4);
        const uint32_t nameLength = Le(b, at + 28, 2), extraLength = Le(b, at + 30, 2), commentLength = Le(b, at + 32, 2);
        e.name = b.substr(at + 46, nameLength);
        entries.push_back(e);
        at += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
}

void ToDosTime(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime) {
    const time_t t = static_cast<time_t>(unixTime);
    struct tm local {};
    localtime_r(&t, &local);
    dosDate = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    dosTime = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

} // namespace zandrel::shell::testing
