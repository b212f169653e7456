// FTP connection test and removal of one remote file.
#include "platform/ui/Forms.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;

} // namespace

bool TZandrelWebCopy::FtpTest(int, const std::string& FTPUserID, const std::string& FTPPassword,
                              const std::string& FTPHost, int32_t FTPPort) {
    PlayClip(kUploadClip);
    if (!PumpMessages()) return false;
    // Logging in is the test: the connection step sends nothing further.
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    inet::InternetCloseHandle(connection);
    if (connection == FFTPconnect) {
        // It was the kept connection: nothing may take it over now that it is closed.
        FFTPconnect = nullptr;
        FPrevConnect.clear();
        FPrevTarget.clear();
    }
    return true;
}

bool TZandrelWebCopy::FtpRemoveFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                    const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                    const std::string& TargetDir, const std::string& TargetFilename,
                                    bool KeepConnection) {
    PlayClip(kUploadClip);
    // The upload side always names the server.
    ShowFileLine(ExtractUrlFileName(URL), DlgToServerLabel, FTPHost, true);

    if (!PumpMessages()) return false;
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost, FTPPort);
    if (!PumpMessages()) {
        FtpDrop(connection);
        return false;
    }

    // A kept connection already in TargetDir (as recorded) is not sent there again.
    if (!TargetDir.empty() && TargetDir != FPrevTarget) {
        FPrevTarget = KeepConnection ? TargetDir : std::string();
        if (!inet::FtpSetCurrentDirectory(connection, TargetDir)) {
            // No event for this end, but the reason is there for whoever reports the item.
            if (!InetCallCancelled()) NoteInetFailure();
            if (!KeepConnection || FCancelled) FtpDrop(connection);
            else FPrevTarget.clear();
            return false;
        }
    }
    if (!PumpMessages()) {
        FtpDrop(connection);
        return false;
    }

    const std::string name = TargetFilename.empty() ? ExtractUrlFileName(URL) : TargetFilename;
    if (inet::FtpDeleteFile(connection, name)) {
        if (OnRemovedFile) OnRemovedFile(*this, Index);
    } else if (InetCallCancelled()) {
        FtpDrop(connection);
        return false;
    } else {
        NoteInetFailure();
        if (OnRemovedFileFailed) OnRemovedFileFailed(*this, Index);
    }
    PumpMessages();
    if (!KeepConnection || FCancelled) FtpDrop(connection);
    return true;
}

} // namespace zandrel::webcopy
