// Reading and writing remote files in blocks.
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ssh/RawRequests.h"
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
// Writes kept in flight: 1.5 MiB stays within OpenSSH's 2 MiB channel window, so a write never
// waits for the window while the answers it needs are on their way.
constexpr size_t kWriteBytesInFlight = 1536 * 1024;

} // namespace

// ---- reading -----------------------------------------------------------------------------------------

struct SftpReader::State {
    std::shared_ptr<SftpSession::Impl> s;
    std::string path;
    sftp_file file = nullptr;
    uint64_t size = 0;       // when opened
    uint64_t delivered = 0;  // bytes handed to the caller
    uint64_t received = 0;   // where the data received so far ends
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

    ~State() {
        Close(false);
        s->ReleaseChannel(this);
    }

    // On the session's thread: the replies still due are taken in and dropped, so none is left
    // to be mistaken for the answer to a later request; reading goes on later from what was
    // received.
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
        nextOffset = received;
        s->ReleaseChannel(this);
    }

    // On the session's thread: the next block into `data`, or the end.
    void Fill() {
        const detail::Libssh& lib = *s->lib;
        while (out.size() < kReadsInFlight) {
            lib.sftpSeek64(file, nextOffset);
            const int id = lib.sftpAsyncReadBegin(file, block);
            if (id < 0) s->FailSftp("could not read " + path);
            out.push_back({static_cast<uint32_t>(id), nextOffset, block});
            nextOffset += block;
        }
        s->HoldChannel(this, [this] { Drain(); });
        const Request r = out.front();
        out.pop_front();
        if (data.size() < r.length) data.resize(r.length);
        lib.sftpSeek64(file, r.offset);
        const int n = lib.sftpAsyncRead(file, data.data(), r.length, r.id);
        if (n < 0) s->FailSftp("could not read " + path);
        dataAt = 0;
        dataEnd = static_cast<size_t>(n);
        received = r.offset + static_cast<uint64_t>(n);
        if (n == 0) {
            end = true;
            Drain();
        } else if (static_cast<uint32_t>(n) < r.length) {
            // Less than asked: the requests behind this one left a gap. They go, and reading
            // goes on from where this one ended.
            Drain();
            if (received < size && static_cast<uint32_t>(n) >= kSmallestReadBlock) block = static_cast<uint32_t>(n);
        }
    }

    void Close(bool report) {
        if (!file) return;
        if (s->dead) {
            out.clear();
            s->lib->sftpClose(std::exchange(file, nullptr)); // the connection is cut: nothing is waited for
            return;
        }
        try {
            s->Call("while closing " + path, [&] {
                if (!out.empty()) Drain();
                if (s->lib->sftpClose(std::exchange(file, nullptr)) != 0 && report)
                    s->FailSftp("could not close " + path);
            }, std::nullopt, this);
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
    if (size == 0) return 0;
    if (r.dataAt == r.dataEnd && !r.end) r.s->Call("while reading " + r.path, [&] { r.Fill(); }, std::nullopt, &r);
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
    std::vector<char> staged;      // bytes not sent yet, less than a block
    std::deque<uint32_t> pending;  // writes sent and not answered yet
    uint64_t sent = 0;             // where the next write goes
    std::optional<SshError> failed; // the first write the server refused

    ~State() {
        Close(false);
        s->ReleaseChannel(this);
    }

    std::string What() const { return "could not write " + path; }
    size_t Depth() const { return std::max<size_t>(1, kWriteBytesInFlight / s->writeBlock); }

    // On the session's thread: the answers to all but `keep` of the writes in flight. A refusal is
    // kept for the writer to report; only a broken connection throws here.
    void Collect(size_t keep) {
        while (pending.size() > keep) {
            const detail::RawStatus status = detail::ReadStatus(*s, What());
            const auto sentOne = std::find(pending.begin(), pending.end(), status.id);
            if (sentOne == pending.end())
                Fail(SshErrorKind::ConnectionLost, What() + ": the server answered a request that was not made");
            pending.erase(sentOne);
            if (status.code != SSH_FX_OK && !failed) failed = detail::StatusError(status, What());
        }
        if (pending.empty()) s->ReleaseChannel(this);
    }

    // On the session's thread: one block to the server, left in flight.
    void Send(const char* data, size_t size) {
        pending.push_back(detail::SendWrite(*s, file, sent, data, static_cast<uint32_t>(size), What()));
        s->HoldChannel(this, [this] { Collect(0); });
        sent += size;
        Collect(Depth());
    }

    void Close(bool report) {
        if (!file) return;
        if (s->dead) {
            pending.clear();
            s->lib->sftpClose(std::exchange(file, nullptr)); // the connection is cut: nothing is waited for
            if (report) s->CheckAlive();
            return;
        }
        try {
            s->Call("while finishing " + path, [&] {
                if (!staged.empty() && !failed) Send(staged.data(), staged.size());
                staged.clear();
                Collect(0);
                const bool closed = s->lib->sftpClose(std::exchange(file, nullptr)) == 0;
                if (failed) throw *failed;
                if (!closed) s->FailSftp("could not finish writing " + path);
            }, std::nullopt, this);
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
    const size_t block = w.s->writeBlock;
    while (size > 0 && !w.failed) {
        // Whole blocks go straight from the caller's buffer; the rest waits for more.
        if (w.staged.empty() && size >= block) {
            w.s->Call("while writing " + w.path, [&] { w.Send(bytes, block); }, std::nullopt, &w);
            bytes += block;
            size -= block;
            continue;
        }
        const size_t take = std::min(size, block - w.staged.size());
        w.staged.insert(w.staged.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (w.staged.size() == block) {
            w.s->Call("while writing " + w.path, [&] { w.Send(w.staged.data(), w.staged.size()); }, std::nullopt, &w);
            w.staged.clear();
        }
    }
    if (w.failed) throw *w.failed;
}

void SftpWriter::Close() { state_->Close(true); }

std::unique_ptr<SftpWriter> SftpSession::OpenWrite(const std::string& path) {
    Impl& s = *impl_;
    auto state = std::make_shared<SftpWriter::State>();
    state->s = impl_;
    state->path = s.Resolve(path);
    state->staged.reserve(s.writeBlock);
    s.Call("while opening " + state->path, [&] {
        state->file = s.lib->sftpOpen(s.sftp, state->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!state->file) s.FailSftp("could not open " + state->path + " for writing");
    });
    return std::unique_ptr<SftpWriter>(new SftpWriter(std::move(state)));
}

} // namespace zandrel::ssh
