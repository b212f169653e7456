// File transfers: RETR and STOR through the data connection itself (in clear or TLS), in blocks
// the caller sizes, each wait sliced so the idle hook runs and a Cancel stops the read or write at
// once.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/inet/FtpHandles.h"
#include "platform/inet/SftpCalls.h"
#include "platform/inet/HttpHandles.h"

namespace zandrel::inet {
namespace {

using detail::Clock;
using detail::Failure;
using detail::FileHandle;
using detail::Guarded;
using detail::HandleKind;
using detail::Millis;
using detail::NoAnswerWithin;
using detail::WaitOutcome;

// After a Cancel or a failed read/write, closing waits this long for the server's closing reply
// before giving the session up; a stalled server must not hold the Cancel back for the full timeout.
constexpr Millis kInterruptedCloseGrace{1000};

// The sizes of the socket runs (see FileHandle::buffer). Measured over loopback against the same
// server: sends interleave best with the receiver in runs of 64 KB, receives in runs of 256 KB.
constexpr size_t kSendRun = 64 * 1024;
constexpr size_t kReceiveRun = 256 * 1024;

// Digits only, no sign, no overflow.
std::optional<uint64_t> ParseCount(std::string_view digits) {
    uint64_t value = 0;
    if (digits.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// "213 12345". Anything else ("213 -1", "213 12 bytes", a number beyond 64 bits) is no size.
std::optional<uint64_t> ParseSizeReply(const std::string& reply) {
    if (reply.size() < 5 || reply.compare(0, 4, "213 ") != 0) return std::nullopt;
    std::string_view digits(reply);
    digits.remove_prefix(4);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    return ParseCount(digits);
}

// "150 Opening BINARY mode data connection for f.zip (12345 bytes)."
std::optional<uint64_t> ParseOpeningReplySize(const std::string& reply) {
    const size_t bytes = reply.find(" bytes)");
    if (bytes == std::string::npos) return std::nullopt;
    const size_t open = reply.rfind('(', bytes);
    if (open == std::string::npos) return std::nullopt;
    return ParseCount(std::string_view(reply).substr(open + 1, bytes - open - 1));
}

std::shared_ptr<FileHandle> TransferHandle(HINTERNET file, bool writing) {
    auto handle = detail::LookupAs<FileHandle>(file, HandleKind::File);
    if (handle->writing != writing) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (handle->interrupted) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return handle;
}

// A wait that ended without the socket being ready breaks the transfer; a timeout also ends the
// session, whose replies can no longer be trusted to be in step. A cancelled upload keeps it:
// closing the handle ends the file, and a caller that lets the closing reply be waited for
// (an idle hook that no longer cancels) can still remove the file over the same connection.
void ThrowInterrupted(FileHandle& handle, WaitOutcome outcome, Millis timeout) {
    handle.interrupted = true;
    handle.cancelled = outcome == WaitOutcome::Cancelled;
    if (!handle.cancelled || !handle.writing) handle.connection->session->Discard();
    if (outcome == WaitOutcome::Cancelled) throw Failure(ERROR_INTERNET_OPERATION_CANCELLED);
    throw Failure(ERROR_INTERNET_TIMEOUT, "the data connection stalled: " + detail::NoAnswerWithin(timeout));
}

// A Cancel reaches a transfer that never has to wait, too.
void StopIfCancelled(FileHandle& handle) {
    if (detail::CancelRequested()) ThrowInterrupted(handle, WaitOutcome::Cancelled, Millis{0});
}

// After a send or receive that moved nothing: a full (or empty) socket buffer means "try again"
// once the socket is ready, waiting in slices; anything else breaks the transfer.
void AwaitRetry(FileHandle& handle, const detail::LinkIo& io, Millis timeout) {
    if (io.state != detail::LinkIo::State::Wait) {
        handle.interrupted = true;
        throw Failure(ERROR_INTERNET_CONNECTION_ABORTED,
                      "the data connection broke: " + (io.problem.empty() ? std::string("closed by the server") : io.problem));
    }
    const WaitOutcome outcome = detail::WaitForSocket(handle.data.Socket(), io.waitMode, timeout);
    if (outcome != WaitOutcome::Ready) ThrowInterrupted(handle, outcome, timeout);
}

// Sends all of `data`, waiting only when the socket's buffer is full.
void SendAll(FileHandle& handle, const char* data, size_t count) {
    while (count > 0) {
        StopIfCancelled(handle); // a server that takes a few bytes at a time must not starve it
        const detail::LinkIo io = handle.data.Send(data, count);
        if (io.state != detail::LinkIo::State::Moved) {
            AwaitRetry(handle, io, handle.connection->session->timeouts.send);
            continue;
        }
        data += io.bytes;
        count -= io.bytes;
    }
}

void SendCollected(FileHandle& handle) {
    const size_t pending = handle.bufferEnd;
    handle.bufferEnd = 0;
    SendAll(handle, handle.buffer.data(), pending);
}

// Receives what the socket holds, up to `capacity` bytes, waiting only while it holds nothing.
// 0 is the end of the data. TLS hands out one record (16 KiB) a call: those already in are
// gathered, so a run costs the caller one call as in clear.
size_t ReceiveSome(FileHandle& handle, char* into, size_t capacity) {
    StopIfCancelled(handle);
    for (;;) {
        const detail::LinkIo io = handle.data.Receive(into, capacity);
        if (io.state == detail::LinkIo::State::End) return 0;
        if (io.state != detail::LinkIo::State::Moved) {
            AwaitRetry(handle, io, handle.connection->session->timeouts.receive);
            continue;
        }
        size_t got = io.bytes;
        while (handle.data.Secure() && got < capacity) {
            const detail::LinkIo more = handle.data.Receive(into + got, capacity - got);
            if (more.state != detail::LinkIo::State::Moved) break; // the end or a break shows on the next call
            got += more.bytes;
        }
        return got;
    }
}

} // namespace

namespace detail {

bool FileHandle::Close() {
    if (connection->sftp) return SftpCloseFile(*this);
    connection->transferOpen = false;
    if (finished) return true;
    // An upload's last collected bytes go out before the end of the file; if they cannot, the
    // server's reply to the shortened file must not read as success.
    std::optional<Failure> sendFailure;
    if (writing && dataOpen && !interrupted && bufferEnd > 0) {
        try {
            SendCollected(*this);
        } catch (const Failure& failure) {
            sendFailure = failure;
        }
    }
    if (dataOpen) {
        // A cancelled upload is reset rather than ended: an orderly close would make the server
        // read every byte still in flight (megabytes in the socket buffers, at its own pace)
        // before it answers, and only that answer frees the connection that removes the file.
        // A finished upload ends with TLS's close_notify where TLS is used: without it a server
        // cannot tell the end of the file from a cut connection.
        if (cancelled && writing) data.Abort(true);
        else if (writing && !interrupted) data.CloseOrderly(Clock::now() + connection->session->timeouts.send);
        else data.Abort(false);
        dataOpen = false;
    }
    finished = true;
    FtpSession& session = *connection->session;
    const Millis limit = interrupted ? std::min(kInterruptedCloseGrace, session.timeouts.receive)
                                     : session.timeouts.receive;
    std::string reply;
    DWORD failure = 0;
    const int status = session.AwaitTransferEnd(limit, reply, failure);
    if (!writing) return true; // an early end of a download: 226 or 426 are both fine
    // A cancelled upload is never a confirmed file, whatever the server made of its end.
    if (cancelled) throw Failure(ERROR_INTERNET_OPERATION_CANCELLED);
    if (status == 0)
        throw Failure(interrupted ? ERROR_FTP_DROPPED : failure,
                      interrupted ? "the transfer was interrupted" : "no confirmation of the file: " + reply);
    if (status / 100 != 2) ThrowServerRefusal(status, reply);
    if (sendFailure) throw *sendFailure;
    return true;
}

} // namespace detail

HINTERNET FtpOpenFile(HINTERNET connection, const std::string& fileName, DWORD access, DWORD flags,
                      DWORD_PTR context) {
    if (auto sftp = detail::SftpConnectionOf(connection)) return detail::SftpOpenFile(connection, sftp, fileName, access, context);
    return Guarded<HINTERNET>(nullptr, [&] {
        detail::RequireCommandSafe(fileName);
        const bool reading = access == GENERIC_READ;
        if (!reading && access != GENERIC_WRITE) throw Failure(ERROR_INVALID_PARAMETER);
        auto handle = detail::UsableFtpConnection(connection);
        detail::FtpSession& session = *handle->session;
        session.SetBinary((flags & 3) != FTP_TRANSFER_TYPE_ASCII);

        auto file = std::make_shared<FileHandle>();
        file->context = context;
        file->connection = handle;
        file->writing = !reading;
        file->binary = (flags & 3) != FTP_TRANSFER_TYPE_ASCII;
        if (reading) {
            // Asked before RETR: during the transfer the control connection is not free.
            std::string reply;
            if (session.Command("SIZE", fileName, reply) == 213) file->size = ParseSizeReply(reply);
        }
        file->data = session.OpenDataChannel(reading ? "RETR" : "STOR", fileName, handle->passive);
        if (reading) {
            DWORD status = 0;
            std::string reply;
            InternetGetLastResponseInfo(status, reply);
            file->announced = ParseOpeningReplySize(reply);
            if (!file->size) file->size = file->announced;
        }
        handle->transferOpen = true;
        SetLastError(ERROR_SUCCESS);
        return detail::RegisterHandle(std::move(file), connection);
    });
}

bool FtpGetFileSize64(HINTERNET file, uint64_t& size) {
    return Guarded<bool>(false, [&] {
        auto handle = detail::LookupAs<FileHandle>(file, HandleKind::File);
        if (handle->writing) throw Failure(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        if (!handle->size) throw Failure(ERROR_INTERNET_EXTENDED_ERROR, "the server did not tell the size");
        size = *handle->size;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

DWORD FtpGetFileSize(HINTERNET file, DWORD* sizeHigh) {
    uint64_t size = 0;
    // An unknown size reads as 0, which progress displays show as "total unknown".
    FtpGetFileSize64(file, size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

bool InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD& read) {
    read = 0;
    if (auto sftp = detail::SftpFileOf(file)) return detail::SftpReadFile(*sftp, buffer, toRead, read);
    return Guarded<bool>(false, [&] {
        if (detail::IsRequestHandle(file)) return detail::ReadResponseBody(file, buffer, toRead, read);
        auto handle = TransferHandle(file, false);
        if (handle->finished || toRead == 0) return true;
        if (handle->bufferPos == handle->bufferEnd) {
            if (handle->buffer.empty()) handle->buffer.resize(kReceiveRun);
            handle->bufferPos = 0;
            handle->bufferEnd = ReceiveSome(*handle, handle->buffer.data(), handle->buffer.size());
            handle->received += handle->bufferEnd;
        }
        if (handle->bufferEnd > 0) {
            const size_t take = std::min<size_t>(toRead, handle->bufferEnd - handle->bufferPos);
            std::memcpy(buffer, handle->buffer.data() + handle->bufferPos, take);
            handle->bufferPos += take;
            read = static_cast<DWORD>(take);
            return true;
        }
        // End of the data: only the server's closing reply tells a complete file from a cut one.
        detail::FtpSession& session = *handle->connection->session;
        handle->data.Abort(false);
        handle->dataOpen = false;
        handle->finished = true;
        std::string reply;
        DWORD failure = 0;
        const int status = session.AwaitTransferEnd(session.timeouts.receive, reply, failure);
        if (status == 0) throw Failure(failure, "no end of transfer reply: " + reply);
        if (status / 100 != 2) detail::ThrowServerRefusal(status, reply);
        // A complete-sounding reply after short data is still a short file. The size told as
        // the transfer began is the one for this very transfer; SIZE was asked a moment before.
        // In ASCII mode line ends change the count, so only binary transfers are checked.
        const std::optional<uint64_t> expected = handle->announced ? handle->announced : handle->size;
        if (handle->binary && expected && handle->received < *expected)
            throw Failure(ERROR_INTERNET_CONNECTION_ABORTED,
                          "the transfer ended after " + std::to_string(handle->received) + " of " +
                              std::to_string(*expected) + " bytes (server: " + reply + ")");
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

bool InternetWriteFile(HINTERNET file, const void* buffer, DWORD toWrite, DWORD& written) {
    written = 0;
    if (auto sftp = detail::SftpFileOf(file)) return detail::SftpWriteFile(*sftp, buffer, toWrite, written);
    return Guarded<bool>(false, [&] {
        if (detail::IsRequestHandle(file)) return detail::WriteRequestBody(file, buffer, toWrite, written);
        auto handle = TransferHandle(file, true);
        if (handle->buffer.empty()) handle->buffer.resize(kSendRun);
        if (handle->bufferEnd + toWrite > handle->buffer.size()) SendCollected(*handle);
        if (toWrite >= handle->buffer.size()) {
            SendAll(*handle, static_cast<const char*>(buffer), toWrite);
        } else {
            std::memcpy(handle->buffer.data() + handle->bufferEnd, buffer, toWrite);
            handle->bufferEnd += toWrite;
        }
        written = toWrite;
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace zandrel::inet
