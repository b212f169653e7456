// Copy of one file from a local path or from a network share into a local folder.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/netshare/NetShare.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/ui/Forms.h"
#include "webcopy/LocalFile.h"
#include "webcopy/TransferSupport.h"
#include "webcopy/Utilities.h"
#include "webcopy/ZandrelWebCopy.h"

namespace zandrel::webcopy {
namespace {

// Blocks between two progress steps: large enough for disk and network speed, small enough
// that a Cancel is seen within a few milliseconds even on a slow share.
constexpr size_t kCopyBlock = 256 * 1024;

// How much the kernel moves per call of a local copy: as much as takes 10 to 40 ms on this
// medium, so progress and Cancel are seen many times a second on a slow disk, and a fast one
// (memory, an SSD) is not held up by thousands of calls and progress steps per gigabyte.
class KernelCopyStep {
public:
    size_t Size() const { return size_; }
    // After a call that moved `moved` bytes in `took`.
    void Took(size_t moved, std::chrono::steady_clock::duration took) {
        if (moved < size_) return; // the end of the file, or a short call that says nothing
        if (took < std::chrono::milliseconds(10) && size_ < kLargest) size_ *= 2;
        else if (took > std::chrono::milliseconds(40) && size_ > kCopyBlock) size_ /= 2;
    }

private:
    static constexpr size_t kLargest = 64 * 1024 * 1024;
    size_t size_ = kCopyBlock;
};
// The longest a share server may keep any single call waiting.
constexpr int kShareTimeoutMs = 30000;

// What the copy reads: a local file or a file of a share.
class CopySource {
public:
    virtual ~CopySource() = default;
    virtual uint64_t Size() const = 0;
    virtual rtl::FILETIME LastWriteTime() const = 0;
    // Bytes read into `buffer` (0 at the end), or -1 with `why`.
    virtual int64_t Read(char* buffer, size_t count, std::string& why) = 0;
    // Up to `count` bytes moved straight into `target` by the kernel (0 at the end), or -1 with
    // errno set: EXDEV, EINVAL, ENOSYS or EOPNOTSUPP when it cannot do that here, so Read and a
    // write take over.
    virtual int64_t CopyTo(rtl::OpenFile& target, size_t count) {
        (void)target;
        (void)count;
        errno = ENOSYS;
        return -1;
    }
};

class LocalSource : public CopySource {
public:
    // False with errno set when the path is no readable regular file.
    bool Open(const std::string& path) { return file_.OpenForReading(path); }
    uint64_t Size() const override { return file_.Size(); }
    rtl::FILETIME LastWriteTime() const override { return file_.LastWriteTime(); }
    int64_t Read(char* buffer, size_t count, std::string& why) override {
        const int64_t n = file_.Read(buffer, count);
        if (n < 0) why = LocalFailureReason();
        return n;
    }
    int64_t CopyTo(rtl::OpenFile& target, size_t count) override { return file_.CopyTo(target, count); }
    // Whether `path` is this file under another spelling (a link, "./", another path).
    bool IsSameFileAs(const std::string& path) const { return file_.IsSameFileAs(path); }

private:
    rtl::OpenFile file_;
};

class ShareSource : public CopySource {
public:
    explicit ShareSource(std::unique_ptr<netshare::ShareFile> file) : file_(std::move(file)) {}
    uint64_t Size() const override { return file_->Size(); }
    rtl::FILETIME LastWriteTime() const override { return file_->LastWriteTime(); }
    int64_t Read(char* buffer, size_t count, std::string& why) override { return file_->Read(buffer, count, why); }

private:
    std::unique_ptr<netshare::ShareFile> file_;
};

// The folder part of a local source for the file line: up to the last separator, without it.
std::string SourceFolder(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool StartsWithFileScheme(const std::string& path) {
    static const std::string scheme = "FILE://";
    if (path.size() < scheme.size()) return false;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(path[i])) != scheme[i]) return false;
    return true;
}

} // namespace

bool TZandrelWebCopy::FileGetFile(int idx, const std::string& UserID, const std::string& Password,
                                  const std::string& Host, int32_t, const std::string& URL,
                                  const std::string& TargetDir, const std::string& TargetFilename, bool CopyNewerOnly,
                                  TDateTime& FileDate, bool& NoNewVersion) {
    NoNewVersion = false;
    if (FAnim) FAnim->SetActive(true);
    const std::string urlName = ExtractUrlFileName(URL);
    if (Host.empty())
        ShowFileLine(urlName, DlgFromServerLabel, SourceFolder(URL), true);
    else
        ShowFileLine(urlName, DlgFromServerLabel, Host, true);
    if (!PumpMessages()) return false;

    // The share stays connected for this one file; every way out of here disconnects it.
    std::unique_ptr<netshare::ShareConnection> share;
    std::unique_ptr<CopySource> input;
    auto finish = [&](bool ok) {
        input.reset(); // closed before the connection it belongs to
        if (share) {
            std::string why;
            if (!share->Disconnect(why)) {
                FLastErrorReason = why;
                if (OnConnectError) OnConnectError(*this);
                ok = false;
            }
            share.reset();
        }
        return ok;
    };
    if (!Host.empty()) {
        std::string why;
        // The server may keep a call waiting; meanwhile the dialog stays alive and a Cancel
        // gives the call up at once.
        share = netshare::ShareConnection::Connect(Host, UserID, Password, kShareTimeoutMs, why,
                                                   [this] { return PumpMessages(); });
        if (!share) {
            if (FCancelled) return false; // a Cancel is no connection error
            FLastErrorReason = why;
            if (OnConnectError) OnConnectError(*this);
            return false;
        }
        if (!PumpMessages()) return finish(false);
    }

    std::string source = Host.empty() ? URL : Host + (Host.find('\\') != std::string::npos ? "\\" : "/") + URL;
    if (Host.empty() && StartsWithFileScheme(source)) source.erase(0, 7);

    const std::string name = TargetFilename.empty() ? urlName : TargetFilename;
    std::string target = JoinDirFile(TargetDir, name);
    FLastFile = target;
    FLastDir = TargetDir;
    if (source == target) {
        FLastErrorReason = "the source and the target are the same file";
        ReportError(errIdenticalFiles, kMsgIdenticalFiles + source);
        return finish(false);
    }
    if (TargetFilename.empty() && (urlName.empty() || urlName == "." || urlName == "..")) {
        // No file name to save under: writing there would mean the folder itself or its parent.
        FLastErrorReason = "the source \"" + URL + "\" names no file";
        ReportError(errOpenSource, kMsgOpenSource + source);
        return finish(false);
    }

    if (share) {
        std::string why;
        auto file = share->OpenRead(URL, why);
        if (!file) {
            FLastErrorReason = why;
            ReportError(errOpenSource, kMsgOpenSource + source);
            return finish(false);
        }
        input = std::make_unique<ShareSource>(std::move(file));
    } else {
        auto local = std::make_unique<LocalSource>();
        if (!local->Open(source)) {
            FLastErrorReason = errno == EINVAL ? "not a regular file (a pipe, a device or a socket)" : LocalFailureReason();
            ReportError(errOpenSource, kMsgOpenSource + source);
            return finish(false);
        }
        // The same file under another path: replacing it with itself is no copy.
        if (local->IsSameFileAs(target)) {
            FLastErrorReason = target + " is the source file itself";
            ReportError(errIdenticalFiles, kMsgIdenticalFiles + source);
            return finish(false);
        }
        input = std::move(local);
    }

    if (CopyNewerOnly || OnFileDateCheck) {
        rtl::FILETIME local;
        rtl::FileTimeToLocalFileTime(input->LastWriteTime(), local);
        const TDateTime sourceDate = FileTimeToDate(local);
        if (OnFileDateCheck) {
            bool allow = true;
            OnFileDateCheck(*this, idx, sourceDate, allow);
            if (!allow) return finish(false);
            FileDate = sourceDate;
        } else if (IsLaterDate(sourceDate, FileDate)) {
            FileDate = sourceDate;
        } else {
            NoNewVersion = true;
            FileDate = sourceDate;
            input.reset();
            if (OnNoNewFileFound) OnNoNewFileFound(*this, source, FileDate, sourceDate);
            return finish(false);
        }
    }
    const uint64_t size = input->Size();

    // The data goes to a temporary file beside the target, which takes the target's name only
    // once complete: an existing file is replaced by a whole copy or not at all.
    LocalFile output;
    if (!OpenDownloadTarget(target, output, kMsgCreateTarget)) return finish(false);

    std::vector<char> block; // for reads and writes, where the kernel does not copy
    KernelCopyStep step;
    uint64_t copied = 0;
    const uint32_t start = rtl::GetTickCount();
    // Local to local, the kernel moves the data (no copy through this process, and on file
    // systems that can, none at all); elsewhere, or when it cannot, blocks are read and written.
    bool kernelCopy = !share;
    try {
        for (;;) {
            std::string why;
            int64_t n = -1;
            if (kernelCopy) {
                const auto before = std::chrono::steady_clock::now();
                n = input->CopyTo(output.File(), step.Size());
                if (n > 0) step.Took(static_cast<size_t>(n), std::chrono::steady_clock::now() - before);
                // Files of /proc and the like claim an end at once: a read says whether it is one.
                if (n == 0) kernelCopy = false;
                if (n < 0) {
                    const int error = errno;
                    if (error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP) {
                        kernelCopy = false;
                    } else if (error == ENOSPC || error == EDQUOT || error == EFBIG) {
                        throw LocalFileError(kMsgWriteTarget + target, error);
                    } else {
                        FLastErrorReason = std::strerror(error);
                        ReportError(errReadSource, kMsgReadSource + source);
                        return finish(false);
                    }
                }
            }
            if (!kernelCopy) {
                block.resize(kCopyBlock);
                n = input->Read(block.data(), block.size(), why);
            }
            if (n < 0 && FCancelled) break; // given up while the server kept it waiting
            if (n < 0) {
                FLastErrorReason = why;
                ReportError(errReadSource, kMsgReadSource + source);
                return finish(false);
            }
            if (n > 0 && !kernelCopy) output.Write(block.data(), static_cast<size_t>(n), target);
            copied += static_cast<uint64_t>(n);
            if (size == 0 && FProgress) FProgress->SetPosition(100);
            const bool cancel = ProgressStep(copied, size, start, DlgCopying);
            if (n == 0 || cancel) break;
        }
        if (FCancelled) return finish(false); // the temporary file goes; an existing file stays
        output.Finish(target);
    } catch (const LocalFileError& e) {
        FLastErrorReason = e.Reason();
        ReportError(errWriteTarget, kMsgWriteTarget + target);
        return finish(false);
    }
    if (!output.Publish()) {
        FLastErrorReason = LocalFailureReason();
        ReportError(errWriteTarget, kMsgWriteTarget + target);
        return finish(false);
    }
    return finish(true);
}

} // namespace zandrel::webcopy
