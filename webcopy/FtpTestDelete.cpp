// FTP connection test and removal of one remote file.
#include "platform/ui/Application.h"
#include "webcopy/UiForms.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;

} // namespace

bool TZandrelWebCopy::FtpTest(int, const std::string& FTPUserID, const std::string& FTPPassword,
                              const std::string& FTPHost, int32_t FTPPort) {
    PlayClip(kUploadClip);
    ui::ProcessMessages();
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

    ui::ProcessMessages();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost);
    ui::ProcessMessages();

    // A kept connection already in TargetDir (as recorded) is not sent there again.
    if (!TargetDir.empty() && TargetDir != FPrevTarget) {
        FPrevTarget = KeepConnection ? TargetDir : std::string();
        if (!inet::FtpSetCurrentDirectory(connection, TargetDir)) {
            if (!KeepConnection) FtpDrop(connection);
            else FPrevTarget.clear();
            return false;
        }
    }
    ui::ProcessMessages();

    const std::string name = TargetFilename.empty() ? ExtractUrlFileName(URL) : TargetFilename;
    if (inet::FtpDeleteFile(connection, name)) {
        if (OnRemovedFile) OnRemovedFile(*this, Index);
    } else {
        if (OnRemovedFileFailed) OnRemovedFileFailed(*this, Index);
    }
    ui::ProcessMessages();
    if (!KeepConnection) FtpDrop(connection);
    return true;
}

} // namespace zandrel::webcopy
