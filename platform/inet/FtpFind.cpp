// Directory searches: the listing is fetched whole (MLSD where the server offers it, LIST
// otherwise), parsed, and filtered by the mask here, because servers glob differently or not at
// all. The search handle then hands out the kept entries one by one.
#include <Poco/Exception.h>

#include <ctime>

#include "platform/inet/FtpHandles.h"
#include "platform/inet/ListingParser.h"

namespace zandrel::inet {
namespace {

using detail::Failure;
using detail::FtpSession;
using detail::Guarded;
using detail::HandleKind;
using detail::OnCancel;
using detail::WaitOutcome;

// A listing larger than this is not a directory but a server gone wrong.
constexpr size_t kListingLimit = 64u << 20;

std::string ReadListing(FtpSession& session, const std::string& verb, const std::string& directory,
                        bool passive) {
    Poco::Net::StreamSocket data = session.OpenDataChannel(verb, directory, passive);
    std::string text;
    char block[16384];
    for (;;) {
        const WaitOutcome outcome = detail::WaitForSocket(data, Poco::Net::Socket::SELECT_READ,
                                                          session.timeouts.receive, OnCancel::KeepWaiting);
        int received = 0;
        if (outcome == WaitOutcome::Ready) {
            try {
                received = data.receiveBytes(block, sizeof block);
            } catch (const Poco::Exception&) {
                received = -1;
            }
        }
        if (outcome != WaitOutcome::Ready || received < 0 || text.size() > kListingLimit) {
            data.close();
            session.Discard();
            throw Failure(outcome == WaitOutcome::TimedOut ? ERROR_INTERNET_TIMEOUT : ERROR_FTP_DROPPED);
        }
        if (received == 0) break;
        text.append(block, static_cast<size_t>(received));
    }
    data.close();
    std::string reply;
    const int status = session.AwaitTransferEnd(session.timeouts.receive, reply);
    if (status == 0) throw Failure(ERROR_INTERNET_TIMEOUT);
    if (status / 100 != 2) detail::ThrowServerRefusal(status, reply);
    return text;
}

rtl::SYSTEMTIME UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    rtl::SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(parts.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(parts.tm_mon + 1);
    st.wDay = static_cast<uint16_t>(parts.tm_mday);
    st.wHour = static_cast<uint16_t>(parts.tm_hour);
    st.wMinute = static_cast<uint16_t>(parts.tm_min);
    st.wSecond = static_cast<uint16_t>(parts.tm_sec);
    return st;
}

std::vector<WIN32_FIND_DATA> ListDirectory(detail::ConnectionHandle& connection, const std::string& directory) {
    FtpSession& session = *connection.session;
    if (session.SupportsMlsd()) {
        try {
            return detail::ParseListing(ReadListing(session, "MLSD", directory, connection.passive), true, UtcNow());
        } catch (const Failure& failure) {
            DWORD status = 0;
            std::string reply;
            InternetGetLastResponseInfo(status, reply);
            // A server that announced MLST but cannot list this way still has LIST.
            if (failure.code() != ERROR_INTERNET_EXTENDED_ERROR || (status != 500 && status != 502)) throw;
        }
    }
    return detail::ParseListing(ReadListing(session, "LIST", directory, connection.passive), false, UtcNow());
}

} // namespace

HINTERNET FtpFindFirstFile(HINTERNET connection, const std::string& searchFile, WIN32_FIND_DATA& findData,
                           DWORD flags, DWORD_PTR context) {
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
