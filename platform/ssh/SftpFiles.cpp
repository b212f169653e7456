// Reading and writing remote files in blocks.
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "platform/ssh/SessionImpl.h"

namespace zandrel::ssh {
namespace {

using detail::Fail;

// Reads kept in flight: 16 of 64 KiB keep a fast link busy and stay within the channel's
// window; what the server sends ahead is held by libssh, about 1 MiB.
constexpr uint32_t kReadBlock = 64 * 1024;
constexpr size_t kReadsInFlight = 16;
// A server that answers reads with less than asked is taken to have a limit of that size, but
// not below this (a short read at the end of a file says nothing about limits).
constexpr uint32_t kSmallestReadBlock = 4 * 1024;

} // namespace

// ---- reading -----------------------------------------------------------------------------------------

struct SftpReader::State {
    std::shared_ptr<SftpSession::Impl> s;
    std::string path;
    sftp_file file = nullptr;
    uint64_t size = 0;       // when opened
    uint64_t delivered = 0;  // bytes handed to the caller
    uint64_t nextOffset = 0; // where the next request starts
    uint32_t block = kReadBlock;
    struct Request {
        uint32_t id;
        uint64_t offset;
        uint32_t length;
    };
    std::deque<Request> out;
    std::vector<char> data = std::vector<char>(kReadBlock);
    size_t dataAt = 0, dataEnd = 0;
    bool end = false;

    ~State() { Close(false); }

    // On the session's thread: the replies still due are taken in and dropped, so none is left
    // to be mistaken for the answer to a later request.
    void Drain() {
        std::vector<char> scrap(block);
        for (const Request& r : out) {
            // libssh answers every read after an end-of-file with 0 without taking its reply in;
            // a seek clears that mark.
            s->lib->sftpSeek64(file, r.offset);
            if (scrap.size() < r.length) scrap.resize(r.length);
            s->lib->sftpAsyncRead(file, scrap.data(), r.length, r.id);
        }
        out.clear();
        s->filesWithRequestsOut -= s->filesWithRequestsOut > 0 ? 1 : 0;
    }

    // On the session's thread: the next block into `data`, or the end.
    void Fill() {
        const detail::Libssh& lib = *s->lib;
        if (out.empty() && !end) ++s->filesWithRequestsOut;
        while (out.size() < kReadsInFlight) {
            lib.sftpSeek64(file, nextOffset);
            const int id = lib.sftpAsyncReadBegin(file, block);
            if (id < 0) s->FailSftp("could not read " + path);
            out.push_back({static_cast<uint32_t>(id), nextOffset, block});
            nextOffset += block;
        }
        const Request r = out.front();
        out.pop_front();
        if (data.size() < r.length) data.resize(r.length);
        lib.sftpSeek64(file, r.offset);
        const int n = lib.sftpAsyncRead(file, data.data(), r.length, r.id);
        if (n < 0) s->FailSftp("could not read " + path);
        dataAt = 0;
        dataEnd = static_cast<size_t>(n);
        if (n == 0) {
            end = true;
            Drain();
        } else if (static_cast<uint32_t>(n) < r.length) {
            // Less than asked: the requests behind this one left a gap. They go, and reading
            // goes on from where this one ended.
            Drain();
            nextOffset = r.offset + static_cast<uint64_t>(n);
            if (nextOffset < size && static_cast<uint32_t>(n) >= kSmallestReadBlock) block = static_cast<uint32_t>(n);
        }
    }

    void Close(bool report) {
        if (!file) return;
        sftp_file closing = std::exchange(file, nullptr);
        if (s->dead) {
            out.clear();
            s->lib->sftpClose(closing); // the connection is cut: nothing is waited for
            return;
        }
        try {
            s->Call("while closing " + path, [&] {
                if (!out.empty()) Drain();
                if (s->lib->sftpClose(closing) != 0 && report) s->FailSftp("could not close " + path);
            });
        } catch (const SshError&) {
            if (report) throw;
        }
    }
};

SftpReader::SftpReader(std::shared_ptr<State> state) : state_(std::move(state)) {}
SftpReader::~SftpReader() = default;

uint64_t SftpReader::Size() const { return state_->size; }

size_t SftpReader::Read(void* buffer, size_t size) {
    State& r = *state_;
    if (!r.file) Fail(SshErrorKind::InvalidArgument, r.path + " is closed");
    if (r.dataAt == r.dataEnd && !r.end) r.s->Call("while reading " + r.path, [&] { r.Fill(); });
    const size_t n = std::min(size, r.dataEnd - r.dataAt);
    if (n == 0) {
        if (r.delivered < r.size)
            Fail(SshErrorKind::Truncated, "the download of " + r.path + " ended after " + std::to_string(r.delivered) +
                                              " of " + std::to_string(r.size) + " bytes");
        return 0;
    }
    std::memcpy(buffer, r.data.data() + r.dataAt, n);
    r.dataAt += n;
    r.delivered += n;
    return n;
}

void SftpReader::Close() { state_->Close(true); }

std::unique_ptr<SftpReader> SftpSession::OpenRead(const std::string& path) {
    Impl& s = *impl_;
    auto state = std::make_shared<SftpReader::State>();
    state->s = impl_;
    state->path = s.Resolve(path);
    s.Call("while opening " + state->path, [&] {
        state->file = s.lib->sftpOpen(s.sftp, state->path.c_str(), O_RDONLY, 0);
        if (!state->file) s.FailSftp("could not open " + state->path);
        sftp_attributes a = s.lib->sftpFstat(state->file);
        if (!a) s.FailSftp("could not learn the size of " + state->path);
        const bool folder = a->type == SSH_FILEXFER_TYPE_DIRECTORY;
        state->size = a->size;
        s.lib->sftpAttributesFree(a);
        if (folder) Fail(SshErrorKind::Failed, "could not open " + state->path + ": it is a folder");
    });
    return std::unique_ptr<SftpReader>(new SftpReader(std::move(state)));
}

// ---- writing -----------------------------------------------------------------------------------------

struct SftpWriter::State {
    std::shared_ptr<SftpSession::Impl> s;
    std::string path;
    sftp_file file = nullptr;
    uint64_t offset = 0;

    ~State() { Close(false); }

    void Close(bool report) {
        if (!file) return;
        sftp_file closing = std::exchange(file, nullptr);
        if (s->dead) {
            s->lib->sftpClose(closing);
            if (report) s->CheckAlive();
            return;
        }
        try {
            s->Call("while finishing " + path, [&] {
                if (s->lib->sftpClose(closing) != 0) s->FailSftp("could not finish writing " + path);
            });
        } catch (const SshError&) {
            if (report) throw;
        }
    }
};

SftpWriter::SftpWriter(std::shared_ptr<State> state) : state_(std::move(state)) {}
SftpWriter::~SftpWriter() = default;

void SftpWriter::Write(const void* data, size_t size) {
    State& w = *state_;
    if (!w.file) Fail(SshErrorKind::InvalidArgument, w.path + " is closed");
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const size_t piece = std::min(size, w.s->writeBlock);
        bool refused = false;
        w.s->Call("while writing " + w.path, [&] {
            w.s->lib->sftpSeek64(w.file, w.offset);
            if (w.s->lib->sftpWrite(w.file, bytes, piece) == static_cast<ssize_t>(piece)) return;
            // A server that does not take large messages but says so, rather than closing the
            // connection, gets the size every server takes.
            const int code = w.s->lib->sftpGetError(w.s->sftp);
            if (piece > 32 * 1024 && (code == SSH_FX_FAILURE || code == SSH_FX_BAD_MESSAGE) &&
                w.s->lib->sshIsConnected(w.s->ssh)) {
                refused = true;
                return;
            }
            w.s->FailSftp("could not write " + w.path);
        });
        if (refused) {
            w.s->writeBlock = 32 * 1024;
            continue;
        }
        bytes += piece;
        size -= piece;
        w.offset += piece;
    }
}

void SftpWriter::Close() { state_->Close(true); }

std::unique_ptr<SftpWriter> SftpSession::OpenWrite(const std::string& path) {
    Impl& s = *impl_;
    auto state = std::make_shared<SftpWriter::State>();
    state->s = impl_;
    state->path = s.Resolve(path);
    s.Call("while opening " + state->path, [&] {
        state->file = s.lib->sftpOpen(s.sftp, state->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!state->file) s.FailSftp("could not open " + state->path + " for writing");
    });
    return std::unique_ptr<SftpWriter>(new SftpWriter(std::move(state)));
}

} // namespace zandrel::ssh
