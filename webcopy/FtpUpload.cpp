// FTP upload of one file and of every file matching a mask.

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Application.h"
#include "webcopy/FtpLocalFile.h"
#include "webcopy/UiForms.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr int kUploadClip = 258;
constexpr size_t kBlockSize = 4096;

} // namespace

bool TZandrelWebCopy::FtpPutFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                 const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                 const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                 TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection) {
    NoNewVersion = false;
    PlayClip(kUploadClip);
    // The upload side always names the server.
    ShowFileLine(ExtractUrlFileName(URL), DlgToServerLabel, FTPHost, true);

    ui::ProcessMessages();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost);
    ui::ProcessMessages();
    std::string startDir;
    if (!FtpEnterTargetDir(connection, TargetDir, KeepConnection, startDir)) {
        if (!KeepConnection) FtpDrop(connection);
        return false;
    }
    ui::ProcessMessages();

    // A kept connection goes back to where it started, so the next item finds it as it was.
    auto release = [&] {
        if (!KeepConnection) {
            FtpDrop(connection);
        } else if (!TargetDir.empty()) {
            inet::FtpSetCurrentDirectory(connection, startDir);
            FPrevTarget.clear(); // no longer in TargetDir
        }
    };

    const std::string remoteName = TargetFilename.empty() ? ExtractUrlFileName(URL) : TargetFilename;

    if (CopyNewerOnly || OnFileDateCheck) {
        inet::WIN32_FIND_DATA found;
        inet::HINTERNET find = inet::FtpFindFirstFile(connection, remoteName, found, 0, 0);
        if (find) {
            inet::InternetCloseHandle(find);
            bool allow = true;
            if (OnCopyOverWrite) OnCopyOverWrite(*this, remoteName, allow);
            if (!allow) {
                release();
                return false;
            }
            const TDateTime remoteDate = FileTimeToDate(found.ftLastWriteTime);
            if (OnFileDateCheck) {
                allow = true;
                OnFileDateCheck(*this, Index, remoteDate, allow);
                FileDate = remoteDate;
                if (!allow) {
                    release();
                    return false;
                }
            } else if (remoteDate > FileDate) {
                FileDate = remoteDate;
                NoNewVersion = true;
                if (OnNoNewFileFound) OnNoNewFileFound(*this, remoteName, FileDate, remoteDate);
                release();
                return false;
            } else {
                FileDate = remoteDate;
            }
        }
    }

    // The source is opened before the remote file is created: a source that cannot be read must
    // not leave an existing remote file emptied.
    LocalFile source;
    if (!source.OpenRead(URL)) {
        if (OnURLNotFound) OnURLNotFound(*this, URL);
        ReportError(errOpenSource, kMsgOpenSource + URL);
        if (!KeepConnection) FtpDrop(connection);
        return false;
    }
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, remoteName, inet::GENERIC_WRITE, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) {
        source.Close();
        if (OnURLNotFound) OnURLNotFound(*this, URL);
        if (!KeepConnection) FtpDrop(connection);
        return false;
    }
    ui::ProcessMessages();
    FLastFile = URL;
    FLastDir = TargetDir;

    const auto total = static_cast<uint32_t>(source.Size());
    uint32_t sent = 0;
    FCancelled = false;
    const uint32_t start = rtl::GetTickCount();
    bool writeFailed = false;
    try {
        for (;;) {
            ui::ProcessMessages();
            const char* block = nullptr;
            const size_t got = source.ReadBlock(block, kBlockSize, URL);
            // The Internet layer sends a whole block or fails; a short count is sent on until the
            // block is through, so no byte is lost.
            size_t offset = 0;
            while (offset < got) {
                inet::DWORD written = 0;
                if (!inet::InternetWriteFile(remote.Get(), block + offset,
                                             static_cast<inet::DWORD>(got - offset), written) ||
                    written == 0) {
                    writeFailed = true;
                    break;
                }
                offset += written;
            }
            if (writeFailed) break;
            sent += static_cast<uint32_t>(got);
            const bool cancel = ProgressStep(sent, total, start, DlgUpload);
            if (got == 0 || cancel) break;
        }
    } catch (...) {
        remote.Close();
        if (!KeepConnection) FtpDrop(connection);
        throw;
    }
    source.Close();
    // Closing completes the file on the server, which confirms it or not. A write that broke down,
    // or a file the server did not confirm (disk full, quota, a dropped connection), fails: the
    // caller must not publish a file that is missing or short. A Cancel is not such a failure.
    const bool confirmed = remote.Close();
    release();
    if ((writeFailed || !confirmed) && !FCancelled) {
        ReportError(errWriteTarget, kMsgWriteTarget + remoteName);
        return false;
    }
    return true;
}

bool TZandrelWebCopy::MultiFtpPutFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string& TargetDir, const std::string&, bool CopyNewerOnly,
                                      TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection) {
    NoNewVersion = false;
    PlayClip(kUploadClip);
    // The upload side always names the server.
    ShowFileLine(ExtractUrlFileName(URL), DlgToServerLabel, FTPHost, true);

    ui::ProcessMessages();
    FPrevTarget.clear();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost);
    ui::ProcessMessages();
    std::string startDir;
    if (!FtpEnterTargetDir(connection, TargetDir, KeepConnection, startDir)) {
        if (!KeepConnection) FtpDrop(connection);
        return false;
    }
    if (KeepConnection) {
        // The single uploads take this connection over and enter TargetDir themselves.
        inet::FtpSetCurrentDirectory(connection, startDir);
        FPrevTarget.clear();
    }
    ui::ProcessMessages();

    const std::string folder = rtl::ExtractFilePath(URL);
    const std::string mask = rtl::ExtractFileName(URL);
    for (const rtl::FoundFile& entry : rtl::FindFiles(folder.empty() ? "." : folder, mask, rtl::faAnyFile)) {
        FtpPutFile(Index, FTPUserID, FTPPassword, FTPHost, FTPPort, folder + entry.name, TargetDir, entry.name,
                   CopyNewerOnly, FileDate, NoNewVersion, true);
        if (OnMultiFTPFileDone) OnMultiFTPFileDone(*this, entry.name);
    }
    // Also closes the connection the single uploads kept among themselves.
    FtpDrop(connection);
    return true;
}

} // namespace zandrel::webcopy
