// What the server says about one file by name, without a listing: whether the name is taken, and
// enough about the file (size, time, identity) to tell later whether it is still the same one.
#include <charconv>
#include <optional>
#include <string_view>

#include "platform/inet/FtpHandles.h"
#include "platform/inet/SftpCalls.h"

namespace zandrel::inet {
namespace {

using detail::Failure;
using detail::Guarded;

std::optional<uint64_t> Number(std::string_view digits) {
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    uint64_t value = 0;
    if (digits.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// The value of fact `name` ("size") in an MLST entry line (" type=file;size=12;modify=...; x"),
// any case; empty when absent.
std::string Fact(std::string_view line, std::string_view name) {
    const size_t blank = line.find("; ");
    std::string_view facts = line.substr(0, blank == std::string_view::npos ? line.size() : blank + 1);
    while (!facts.empty() && facts.front() == ' ') facts.remove_prefix(1);
    while (!facts.empty()) {
        const size_t end = facts.find(';');
        const std::string_view one = facts.substr(0, end);
        const size_t equals = one.find('=');
        if (equals == name.size()) {
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i)
                same = (one[i] | 0x20) == (name[i] | 0x20);
            if (same) return std::string(one.substr(equals + 1));
        }
        if (end == std::string_view::npos) break;
        facts.remove_prefix(end + 1);
    }
    return {};
}

// 550 (and 450, "file unavailable" on some servers) means: no such file.
bool SaysNoSuchFile(int status) { return status == 550 || status == 450; }

} // namespace

bool FtpGetFileFacts(HINTERNET connection, const std::string& fileName, FtpFileFacts& facts) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpGetFileFacts(*sftp, fileName, facts);
    return Guarded<bool>(false, [&] {
        detail::RequireCommandSafe(fileName);
        auto handle = detail::UsableFtpConnection(connection);
        detail::FtpSession& session = *handle->session;
        facts = {};
        std::string reply;
        if (session.HasFeature("MLST")) {
            const int status = session.Command("MLST", fileName, reply);
            if (SaysNoSuchFile(status)) {
                SetLastError(ERROR_SUCCESS);
                return true;
            }
            if (status / 100 != 2) detail::ThrowServerRefusal(status, reply);
            // The entry is the reply's second line: "250-Listing x", " type=file;...; x", "250 End".
            const size_t first = reply.find('\n');
            const size_t second = first == std::string::npos ? first : reply.find('\n', first + 1);
            const std::string line = first == std::string::npos ? std::string()
                                                                : reply.substr(first + 1, second - first - 1);
            facts.exists = true;
            facts.directory = Fact(line, "type").find("dir") != std::string::npos;
            facts.size = Number(Fact(line, "size"));
            facts.modified = Fact(line, "modify");
            facts.unique = Fact(line, "unique");
            SetLastError(ERROR_SUCCESS);
            return true;
        }
        bool asked = false;
        if (session.HasFeature("SIZE")) {
            const int status = session.Command("SIZE", fileName, reply);
            if (status == 213) {
                facts.exists = true;
                facts.size = Number(std::string_view(reply).substr(std::min<size_t>(4, reply.size())));
            } else if (!SaysNoSuchFile(status)) {
                detail::ThrowServerRefusal(status, reply);
            }
            asked = true;
        }
        // MDTM adds the time, and is the only word on servers without SIZE.
        if (session.HasFeature("MDTM") && (facts.exists || !asked)) {
            const int status = session.Command("MDTM", fileName, reply);
            if (status == 213) {
                facts.exists = true;
                facts.modified = reply.substr(std::min<size_t>(4, reply.size()));
            } else if (!SaysNoSuchFile(status)) {
                detail::ThrowServerRefusal(status, reply);
            }
            asked = true;
        }
        if (!asked) throw Failure(ERROR_NOT_SUPPORTED, "the server offers neither MLST nor SIZE nor MDTM");
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace zandrel::inet
