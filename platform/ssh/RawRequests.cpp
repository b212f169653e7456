#include "platform/ssh/RawRequests.h"

#include <vector>

namespace zandrel::ssh::detail {
namespace {

constexpr uint8_t kWrite = 6;      // SSH_FXP_WRITE
constexpr uint8_t kStatus = 101;   // SSH_FXP_STATUS
constexpr uint8_t kExtended = 200; // SSH_FXP_EXTENDED
// A status reply is a code and a short message; anything longer is not one.
constexpr uint32_t kLongestReply = 64 * 1024;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void PutU64(std::vector<uint8_t>& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value >> 32));
    PutU32(out, static_cast<uint32_t>(value));
}
void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
    PutU32(out, static_cast<uint32_t>(size));
    out.insert(out.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
}
uint32_t GetU32(const uint8_t* at) {
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

// Sends `head` (the packet's type, id and fields, with the packet's length counting `tailSize`
// more bytes) and then the tail.
void Send(const SftpSession::Impl& s, const std::vector<uint8_t>& fields, const char* tail, uint32_t tailSize,
          const std::string& what) {
    std::vector<uint8_t> packet;
    packet.reserve(fields.size() + 4);
    PutU32(packet, static_cast<uint32_t>(fields.size() + tailSize));
    packet.insert(packet.end(), fields.begin(), fields.end());
    ssh_channel channel = s.sftp->channel;
    const auto send = [&](const void* data, uint32_t size) {
        if (size > 0 && s.lib->sshChannelWrite(channel, data, size) != static_cast<int>(size))
            Fail(SshErrorKind::ConnectionLost, what + ": " + s.lib->sshGetError(s.ssh));
    };
    send(packet.data(), static_cast<uint32_t>(packet.size()));
    send(tail, tailSize);
}

void ReadExactly(const SftpSession::Impl& s, uint8_t* into, uint32_t count, const std::string& what) {
    for (uint32_t got = 0; got < count;) {
        const int n = s.lib->sshChannelReadTimeout(s.sftp->channel, into + got, count - got, 0, -1);
        if (n <= 0) Fail(SshErrorKind::ConnectionLost, what + ": the connection closed");
        got += static_cast<uint32_t>(n);
    }
}

} // namespace

uint32_t SendPosixRename(const SftpSession::Impl& s, const std::string& from, const std::string& to,
                         const std::string& what) {
    const uint32_t id = ++s.sftp->id_counter;
    std::vector<uint8_t> fields{kExtended};
    PutU32(fields, id);
    const std::string name = "posix-rename@openssh.com";
    PutBytes(fields, name.data(), name.size());
    PutBytes(fields, from.data(), from.size());
    PutBytes(fields, to.data(), to.size());
    Send(s, fields, nullptr, 0, what);
    return id;
}

uint32_t SendWrite(const SftpSession::Impl& s, sftp_file file, uint64_t offset, const char* data, uint32_t size,
                   const std::string& what) {
    const uint32_t id = ++s.sftp->id_counter;
    std::vector<uint8_t> fields{kWrite};
    PutU32(fields, id);
    PutBytes(fields, s.lib->sshStringData(file->handle), s.lib->sshStringLen(file->handle));
    PutU64(fields, offset);
    PutU32(fields, size); // the data's length; the data follows as the tail
    Send(s, fields, data, size, what);
    return id;
}

RawStatus ReadStatus(const SftpSession::Impl& s, const std::string& what) {
    uint8_t head[4];
    ReadExactly(s, head, 4, what);
    const uint32_t length = GetU32(head);
    if (length < 9 || length > kLongestReply)
        Fail(SshErrorKind::ConnectionLost, what + ": the server's reply does not fit the protocol");
    std::vector<uint8_t> reply(length);
    ReadExactly(s, reply.data(), length, what);
    if (reply[0] != kStatus) Fail(SshErrorKind::ConnectionLost, what + ": the server's reply is not a status");
    RawStatus status;
    status.id = GetU32(&reply[1]);
    status.code = GetU32(&reply[5]);
    if (length >= 13) {
        const uint32_t size = GetU32(&reply[9]);
        if (size <= length - 13) status.message.assign(reinterpret_cast<const char*>(&reply[13]), size);
    }
    return status;
}

SshError StatusError(const RawStatus& status, const std::string& what) {
    SshErrorKind kind = SshErrorKind::Failed;
    if (status.code == SSH_FX_NO_SUCH_FILE || status.code == SSH_FX_NO_SUCH_PATH) kind = SshErrorKind::NoSuchFile;
    if (status.code == SSH_FX_PERMISSION_DENIED || status.code == SSH_FX_WRITE_PROTECT)
        kind = SshErrorKind::PermissionDenied;
    if (status.code == SSH_FX_FILE_ALREADY_EXISTS) kind = SshErrorKind::AlreadyExists;
    return SshError(kind, what + ": " + (status.message.empty() ? "status " + std::to_string(status.code) : status.message));
}

} // namespace zandrel::ssh::detail
