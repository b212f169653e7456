// Directory searches: the listing is fetched whole (MLSD where the server offers it, LIST
// otherwise), parsed, and filtered by the mask here, because servers glob differently or not at
// all. The search handle then hands out the kept entries one by one.
#include <algorithm>
#include <ctime>
#include <optional>

#include "platform/inet/FtpHandles.h"
#include "platform/inet/ListingParser.h"
#include "platform/inet/SftpCalls.h"

namespace zandrel::inet {
namespace {

using detail::Failure;
using detail::FtpSession;
using detail::Guarded;
using detail::HandleKind;
using detail::WaitOutcome;

rtl::SYSTEMTIME UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    return rtl::MakeSystemTime(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                               parts.tm_sec);
}

// Bounds of one listing, far beyond any real directory: a server that goes past them is broken
// or hostile, and the listing fails rather than growing without end.
constexpr size_t kMaxListingLine = 64 * 1024;
constexpr size_t kMaxListingEntries = 1'000'000;
constexpr uint64_t kMaxListingBytes = 256ull << 20;

// Reads a listing from its data connection and parses it line by line as it arrives, so that
// memory holds the entries and one unfinished line, never the whole text.
std::vector<WIN32_FIND_DATA> ReadListing(FtpSession& session, const std::string& verb,
                                         const std::string& directory, bool passive) {
    detail::FtpLink data = session.OpenDataChannel(verb, directory, passive);
    const bool mlsd = verb == "MLSD";
    const rtl::SYSTEMTIME now = UtcNow();
    std::vector<WIN32_FIND_DATA> entries;
    std::string pending;
    uint64_t total = 0;
    auto take = [&](std::string_view line) {
        auto entry = mlsd ? detail::ParseMlsdLine(line) : detail::ParseListLine(line, now);
        if (entry) entries.push_back(std::move(*entry));
    };
    // A listing that breaks the bounds, stalls or is cancelled leaves the server mid-transfer:
    // the session cannot be trusted any more.
    auto giveUp = [&](DWORD code, std::string reason) {
        data.Abort(false);
        session.Discard();
        throw Failure(code, std::move(reason));
    };
    std::optional<std::string> broken; // why the data connection broke, if it did
    char block[16384];
    int waitMode = Poco::Net::Socket::SELECT_READ;
    // Bytes TLS has already taken in show on no socket: those are read without a wait, unless
    // they are only part of a record (the last read wanted more).
    bool mustWait = !data.HasBuffered();
    for (;;) {
        if (mustWait) {
            const WaitOutcome outcome = detail::WaitForSocket(data.Socket(), waitMode, session.timeouts.receive);
            if (outcome == WaitOutcome::Cancelled) giveUp(ERROR_INTERNET_OPERATION_CANCELLED, {});
            if (outcome == WaitOutcome::TimedOut)
                giveUp(ERROR_INTERNET_TIMEOUT, "the listing stalled: " + detail::NoAnswerWithin(session.timeouts.receive));
        } else if (detail::CancelRequested()) {
            giveUp(ERROR_INTERNET_OPERATION_CANCELLED, {});
        }
        const detail::LinkIo io = data.Receive(block, sizeof block);
        waitMode = Poco::Net::Socket::SELECT_READ;
        mustWait = io.state == detail::LinkIo::State::Wait || !data.HasBuffered();
        if (io.state == detail::LinkIo::State::Wait) {
            waitMode = io.waitMode;
            continue;
        }
        if (io.state == detail::LinkIo::State::Broken) {
            broken = io.problem;
            break;
        }
        if (io.state == detail::LinkIo::State::End) break;
        const size_t received = io.bytes;
        total += static_cast<uint64_t>(received);
        if (total > kMaxListingBytes)
            giveUp(ERROR_INTERNET_CONNECTION_ABORTED, "the listing is larger than " + std::to_string(kMaxListingBytes >> 20) + " MiB");
        pending.append(block, received);
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            if (end - start > kMaxListingLine) break;
            take(std::string_view(pending).substr(start, end - start));
        }
        pending.erase(0, start);
        // What is left is one unfinished line, or a finished one that is too long.
        if (std::min(pending.find('\n'), pending.size()) > kMaxListingLine)
            giveUp(ERROR_INTERNET_CONNECTION_ABORTED, "the listing has a line longer than " + std::to_string(kMaxListingLine / 1024) + " KiB");
        if (entries.size() > kMaxListingEntries)
            giveUp(ERROR_INTERNET_CONNECTION_ABORTED, "the listing has more than " + std::to_string(kMaxListingEntries) + " entries");
    }
    data.Abort(false);
    if (!pending.empty() && !broken) take(pending);
    std::string reply;
    DWORD failure = 0;
    const int status = session.AwaitTransferEnd(session.timeouts.receive, reply, failure);
    // Whatever the server then says, a listing whose connection broke is not the directory.
    if (broken)
        throw Failure(ERROR_INTERNET_CONNECTION_ABORTED,
                      "the listing's data connection broke: " + *broken + (status ? " (server: " + reply + ")" : ""));
    if (status == 0) throw Failure(failure, "no end of listing reply: " + reply);
    if (status / 100 != 2) detail::ThrowServerRefusal(status, reply);
    // vsftpd answers a folder it may not read (mode 333, an "incoming" folder) with nothing and
    // "226 Transfer done (but failed to open directory).": that is no empty folder.
    if (entries.empty() && reply.find("failed to open directory") != std::string::npos)
        detail::ThrowServerRefusal(status, reply);
    return entries;
}


// Some servers answer LIST of a folder that does not exist with an empty listing and 226. An
// empty answer for a named folder is therefore checked by entering it (and returning).
void RequireDirectory(FtpSession& session, const std::string& directory) {
    const std::string home = session.PrintWorkingDirectory();
    session.CommandExpecting2xx("CWD", directory);
    std::string reply;
    const int status = session.Command("CWD", home, reply);
    if (status / 100 != 2) {
        // Left in the wrong folder, later relative names would go astray.
        session.Discard();
        detail::ThrowServerRefusal(status, reply);
    }
}

std::vector<WIN32_FIND_DATA> ListDirectory(detail::ConnectionHandle& connection, const std::string& directory) {
    FtpSession& session = *connection.session;
    if (session.HasFeature("MLSD")) {
        try {
            return ReadListing(session, "MLSD", directory, connection.passive);
        } catch (const Failure& failure) {
            DWORD status = 0;
            std::string reply;
            InternetGetLastResponseInfo(status, reply);
            // A server that announced MLST but cannot list this way still has LIST.
            if (failure.code() != ERROR_INTERNET_EXTENDED_ERROR || (status != 500 && status != 502)) throw;
        }
    }
    std::vector<WIN32_FIND_DATA> entries = ReadListing(session, "LIST", directory, connection.passive);
    if (entries.empty() && !directory.empty() && directory != "/") RequireDirectory(session, directory);
    return entries;
}

} // namespace

HINTERNET FtpFindFirstFile(HINTERNET connection, const std::string& searchFile, WIN32_FIND_DATA& findData,
                           DWORD flags, DWORD_PTR context) {
    if (auto sftp = detail::SftpConnectionOf(connection))
        return detail::SftpFindFirstFile(connection, sftp, searchFile, findData, context);
    return Guarded<HINTERNET>(nullptr, [&] {
        detail::RequireCommandSafe(searchFile);
        auto handle = detail::UsableFtpConnection(connection);
        const size_t slash = searchFile.rfind('/');
        const std::string directory = slash == std::string::npos ? std::string() : searchFile.substr(0, slash + 1);
        const std::string mask = slash == std::string::npos ? searchFile : searchFile.substr(slash + 1);

        auto find = std::make_shared<detail::FindHandle>();
        find->context = context;
        for (WIN32_FIND_DATA& entry : ListDirectory(*handle, directory))
            if (detail::MatchesFtpMask(entry.cFileName, mask)) find->entries.push_back(std::move(entry));
        if (find->entries.empty()) throw Failure(ERROR_NO_MORE_FILES);
        findData = find->entries.front();
        find->next = 1;
        SetLastError(ERROR_SUCCESS);
        return detail::RegisterHandle(std::move(find), connection);
    });
}

bool InternetFindNextFile(HINTERNET find, WIN32_FIND_DATA& findData) {
    return Guarded<bool>(false, [&] {
        auto handle = detail::LookupAs<detail::FindHandle>(find, HandleKind::Find);
        if (handle->next >= handle->entries.size()) throw Failure(ERROR_NO_MORE_FILES);
        findData = handle->entries[handle->next++];
        SetLastError(ERROR_SUCCESS);
        return true;
    });
}

} // namespace zandrel::inet
