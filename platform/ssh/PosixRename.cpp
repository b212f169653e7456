#include "platform/ssh/PosixRename.h"

#include <cstdint>
#include <vector>

namespace zandrel::ssh::detail {
namespace {

constexpr uint8_t kExtended = 200; // SSH_FXP_EXTENDED
constexpr uint8_t kStatus = 101;   // SSH_FXP_STATUS
// A status reply is a code and a short message; anything longer is not one.
constexpr uint32_t kLongestReply = 64 * 1024;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void PutString(std::vector<uint8_t>& out, const std::string& text) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}
uint32_t GetU32(const std::vector<uint8_t>& in, size_t& at) {
    if (at + 4 > in.size()) return 0;
    const uint32_t value = (uint32_t{in[at]} << 24) | (uint32_t{in[at + 1]} << 16) | (uint32_t{in[at + 2]} << 8) | in[at + 3];
    at += 4;
    return value;
}

} // namespace

void PosixRename(const SftpSession::Impl& s, const std::string& from, const std::string& to, const std::string& what) {
    const Libssh& lib = *s.lib;
    ssh_channel channel = s.sftp->channel;
    const uint32_t id = ++s.sftp->id_counter;
    std::vector<uint8_t> body{kExtended};
    PutU32(body, id);
    PutString(body, "posix-rename@openssh.com");
    PutString(body, from);
    PutString(body, to);
    std::vector<uint8_t> packet;
    PutU32(packet, static_cast<uint32_t>(body.size()));
    packet.insert(packet.end(), body.begin(), body.end());
    if (lib.sshChannelWrite(channel, packet.data(), static_cast<uint32_t>(packet.size())) !=
        static_cast<int>(packet.size()))
        Fail(SshErrorKind::ConnectionLost, what + ": " + lib.sshGetError(s.ssh));

    const auto readExactly = [&](uint8_t* into, uint32_t count) {
        for (uint32_t got = 0; got < count;) {
            const int n = lib.sshChannelReadTimeout(channel, into + got, count - got, 0, -1);
            if (n <= 0) Fail(SshErrorKind::ConnectionLost, what + ": the connection closed");
            got += static_cast<uint32_t>(n);
        }
    };
    uint8_t head[4];
    readExactly(head, 4);
    const uint32_t length = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
    if (length < 9 || length > kLongestReply)
        Fail(SshErrorKind::ConnectionLost, what + ": the server's reply does not fit the protocol");
    std::vector<uint8_t> reply(length);
    readExactly(reply.data(), length);
    size_t at = 1;
    const uint32_t replyId = GetU32(reply, at);
    if (reply[0] != kStatus || replyId != id)
        Fail(SshErrorKind::ConnectionLost, what + ": the server answered another request");
    const uint32_t code = GetU32(reply, at);
    if (code == SSH_FX_OK) return;
    const uint32_t messageLength = GetU32(reply, at);
    std::string message = messageLength <= reply.size() - at
                              ? std::string(reply.begin() + static_cast<long>(at), reply.begin() + static_cast<long>(at + messageLength))
                              : std::string();
    if (message.empty()) message = "status " + std::to_string(code);
    SshErrorKind kind = SshErrorKind::Failed;
    if (code == SSH_FX_NO_SUCH_FILE || code == SSH_FX_NO_SUCH_PATH) kind = SshErrorKind::NoSuchFile;
    if (code == SSH_FX_PERMISSION_DENIED || code == SSH_FX_WRITE_PROTECT) kind = SshErrorKind::PermissionDenied;
    Fail(kind, what + ": " + message);
}

} // namespace zandrel::ssh::detail
