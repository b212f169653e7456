// FTP download of one file and of every file matching a mask, and FTP listing.
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Application.h"
#include "webcopy/FtpLocalFile.h"
#include "webcopy/UiForms.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

constexpr size_t kBlockSize = 4096;

// The directory part of a remote path, up to and including its last "/"; empty without one.
std::string RemoteDirPart(const std::string& url) {
    const size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(0, slash + 1);
}

// A name from a server's listing that may be used as a local file name inside the target folder.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

bool TZandrelWebCopy::FtpGetFile(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                 const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                 const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                 TDateTime& FileDate, bool& NoNewVersion, bool KeepConnection, bool ShowLabels) {
    NoNewVersion = false;
    const std::string remoteName = ExtractUrlFileName(URL);
    if (ShowLabels) ShowFileLine(remoteName, DlgFromServerLabel, FTPHost, ShowServer);

    ui::ProcessMessages();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, true);
    if (!connection) return false;
    if (KeepConnection) FtpKeep(connection, FTPUserID, FTPPassword, FTPHost);

    ui::ProcessMessages();
    const std::string dirPart = RemoteDirPart(URL);
    std::string savedDir;
    const bool enteredDir = !dirPart.empty();
    if (enteredDir) {
        inet::FtpGetCurrentDirectory(connection, savedDir);
        inet::FtpSetCurrentDirectory(connection, dirPart);
    }
    // Ends that give the connection up, or send a kept one back where it was.
    auto release = [&] {
        if (!KeepConnection) FtpDrop(connection);
        else if (enteredDir) inet::FtpSetCurrentDirectory(connection, savedDir);
    };
    // Ends that leave a kept connection where it is: the record of its directory is then unknown.
    auto leave = [&] {
        if (!KeepConnection) FtpDrop(connection);
        else if (enteredDir) FPrevTarget.clear();
    };

    inet::WIN32_FIND_DATA found;
    uint32_t total = 0;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection, remoteName, found, 0, 0);
    if (find) {
        inet::InternetCloseHandle(find);
        total = found.nFileSizeLow;
        if (CopyNewerOnly || OnFileDateCheck) {
            const TDateTime remoteDate = FileTimeToDate(found.ftLastWriteTime);
            if (OnFileDateCheck) {
                bool allow = true;
                OnFileDateCheck(*this, Index, remoteDate, allow);
                FileDate = remoteDate;
                if (!allow) {
                    release();
                    return false;
                }
            } else if (remoteDate > FileDate) {
                FileDate = remoteDate;
            } else {
                NoNewVersion = true;
                FileDate = remoteDate;
                leave();
                if (OnNoNewFileFound) OnNoNewFileFound(*this, remoteName, FileDate, remoteDate);
                return false;
            }
        }
    }

    ui::ProcessMessages();
    ScopedInetHandle remote(
        inet::FtpOpenFile(connection, remoteName, inet::GENERIC_READ, inet::FTP_TRANSFER_TYPE_BINARY, 0));
    if (remote && total == 0) total = inet::FtpGetFileSize(remote.Get(), nullptr);
    ui::ProcessMessages();
    if (!remote) {
        if (OnURLNotFound) OnURLNotFound(*this, URL);
        release();
        return false;
    }

    std::string localPath = JoinDirFile(TargetDir, TargetFilename.empty() ? remoteName : TargetFilename);
    FLastFile = localPath;
    FLastDir = TargetDir;
    if (rtl::FileExists(localPath)) {
        bool allow = true;
        if (OnCopyOverWrite) OnCopyOverWrite(*this, localPath, allow);
        if (!allow) {
            remote.Close();
            release();
            return false;
        }
        if (CreateUniqueFilenames) localPath = MakeUniqueFileName(localPath);
    }

    const std::string localDir = rtl::ExtractFileDir(localPath);
    if (!localDir.empty()) ForceDirTree(localDir);
    LocalFile target;
    if (!target.Create(localPath)) {
        remote.Close();
        leave();
        ReportError(errCreateTarget, kMsgCreateTarget + localPath);
        return false;
    }

    uint32_t received = 0;
    FCancelled = false;
    const uint32_t start = rtl::GetTickCount();
    std::vector<char> block(kBlockSize);
    bool readFailed = false;
    try {
        for (;;) {
            ui::ProcessMessages();
            inet::DWORD got = 0;
            if (!inet::InternetReadFile(remote.Get(), block.data(), static_cast<inet::DWORD>(block.size()), got)) {
                readFailed = true;
                break;
            }
            if (got > 0) target.Write(block.data(), got, localPath);
            received += got;
            const bool cancel = ProgressStep(received, total, start, DlgDwnload);
            if (got == 0 || cancel) break;
        }
        target.Finish(localPath);
    } catch (...) {
        remote.Close();
        if (!KeepConnection) FtpDrop(connection);
        throw;
    }
    remote.Close();
    release();
    // A transfer the server cut off or that broke down is a failure, not a shorter success; what
    // arrived stays on disk, as after a Cancel, which is not a failure of the transfer.
    if (readFailed && !FCancelled) {
        ReportError(errReadSource, kMsgReadSource + URL);
        return false;
    }
    return true;
}

bool TZandrelWebCopy::MultiFtpGetFile(int, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string& TargetDir, const std::string&, bool CopyNewerOnly,
                                      TDateTime&, bool& NoNewVersion, bool) {
    NoNewVersion = false;
    const std::string url = ToForwardSlashes(URL);
    const std::string mask = ExtractUrlFileName(url);
    const std::string serverPart = ShowServer ? " " + DlgFromServerLabel + " " + FTPHost : std::string();
    ShowFileLine(mask, DlgFromServerLabel, FTPHost, ShowServer);

    ui::ProcessMessages();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;
    // Kept whatever the caller asked: every single download below takes it over.
    FtpKeep(connection, FTPUserID, FTPPassword, FTPHost);

    ui::ProcessMessages();
    const std::string dirPart = RemoteDirPart(url);
    std::string savedDir;
    if (!dirPart.empty()) {
        inet::FtpGetCurrentDirectory(connection, savedDir);
        inet::FtpSetCurrentDirectory(connection, dirPart);
    }

    std::vector<std::string> names;
    inet::WIN32_FIND_DATA found;
    if (inet::HINTERNET find = inet::FtpFindFirstFile(connection, mask, found, 0, 0)) {
        do names.push_back(found.cFileName);
        while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    }

    const int count = static_cast<int>(names.size());
    TDateTime fileDate = 0;
    for (int i = 0; i < count; ++i) {
        const std::string& name = names[static_cast<size_t>(i)];
        if (FFileLbl)
            FFileLbl->SetCaption(DlgFileLabel + " " + std::to_string(i + 1) + " " + DlgFileOfLabel + " " +
                                 std::to_string(count) + " : " + name + serverPart);
        if (IsPlainFileName(name)) {
            FtpGetFile(i, FTPUserID, FTPPassword, FTPHost, FTPPort, name, TargetDir, name, CopyNewerOnly, fileDate,
                       NoNewVersion, true, false);
        } else {
            // The server named something outside the target folder: refused like any other
            // file that cannot be fetched.
            if (OnURLNotFound) OnURLNotFound(*this, name);
        }
        if (OnMultiFTPFileDone) OnMultiFTPFileDone(*this, name);
    }

    if (!dirPart.empty() && FFTPconnect == connection) inet::FtpSetCurrentDirectory(connection, savedDir);
    return true;
}

bool TZandrelWebCopy::MultiFtpGetList(int Index, const std::string& FTPUserID, const std::string& FTPPassword,
                                      const std::string& FTPHost, int32_t FTPPort, const std::string& URL,
                                      const std::string&, const std::string&, bool, TDateTime&, bool& NoNewVersion,
                                      bool) {
    NoNewVersion = false;
    const std::string url = ToForwardSlashes(URL);
    const std::string mask = ExtractUrlFileName(url);
    ShowFileLine(mask, DlgFromServerLabel, FTPHost, ShowServer);

    ui::ProcessMessages();
    inet::HINTERNET connection = FtpConnect(FTPUserID, FTPPassword, FTPHost, FTPPort, false);
    if (!connection) return false;

    ui::ProcessMessages();
    const std::string dirPart = RemoteDirPart(url);
    if (!dirPart.empty()) inet::FtpSetCurrentDirectory(connection, dirPart);

    inet::WIN32_FIND_DATA found;
    inet::HINTERNET find = inet::FtpFindFirstFile(connection, mask, found, inet::INTERNET_FLAG_RELOAD, 0);
    TZandrelWebCopyItem* item = Index >= 0 && Index < Items.Count() ? &Items[Index] : nullptr;
    if (item) ResetItemLists(*item);
    if (find) {
        int number = 0;
        do {
            ++number;
            if (item) {
                ItemFileList(*item).Add(found.cFileName);
                TFileDetailItem& detail = ItemFileDetails(*item).Add();
                detail.Filename = found.cFileName;
                detail.FileAttributes = found.dwFileAttributes;
                detail.FileSizeLow = found.nFileSizeLow;
                detail.FileSizeHigh = found.nFileSizeHigh;
                detail.FileDate = found.ftLastWriteTime;
            }
            if (number > 1 && FFileLbl) FFileLbl->SetCaption(std::to_string(number) + " " + found.cFileName);
        } while (inet::InternetFindNextFile(find, found));
        inet::InternetCloseHandle(find);
    }
    FtpDrop(connection);
    return true;
}

} // namespace zandrel::webcopy
