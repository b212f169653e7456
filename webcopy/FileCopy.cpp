// Copy of one file from a local path or from a network share into a local folder.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/netshare/NetShare.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/FileSystem.h"
#include "webcopy/DownloadTarget.h"
#include "webcopy/LocalFile.h"
#include "webcopy/Routines.h"
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

// The copy itself, from the source opened to the target published; `share` is connected when
// the source is on one. True when the target holds the whole copy.
bool CopyFile(TransferRun& run, const TransferItem& in, netshare::ShareConnection* share, TransferOutcome& out);

} // namespace

TransferOutcome FileGetFile(TransferRun& run, const TransferItem& in) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& Host = item.FTPHost;
    TransferOutcome out = TransferOutcome::From(item.FileDate);
    const auto reporting = run.ReportTo(out);
    TZandrelWebCopy& wc = run.component;
    const std::string urlName = ExtractUrlFileName(item.URL);
    run.ShowFileLine(urlName, wc.DlgFromServerLabel, Host.empty() ? SourceFolder(item.URL) : Host, true);
    if (!run.PumpMessages()) return out;
    if (Host.empty()) {
        if (CopyFile(run, in, nullptr, out)) out.Done();
        return out;
    }

    std::string why;
    // The server may keep a call waiting; meanwhile the dialog stays alive and a Cancel gives the
    // call up at once.
    auto share = netshare::ShareConnection::Connect(Host, item.FTPUserID, item.FTPPassword, kShareTimeoutMs, why,
                                                    [&run] { return run.PumpMessages(); });
    if (!share) {
        if (run.cancelled) return out; // a Cancel is no connection error
        run.SetReason(why);
        if (wc.OnConnectError) wc.OnConnectError(wc);
        return out;
    }
    // The share stays connected for this one file, and is let go however the copy ended; a copy
    // whose share cannot be let go cleanly is not counted done.
    const bool copied = run.PumpMessages() && CopyFile(run, in, share.get(), out);
    if (!share->Disconnect(why)) {
        run.SetReason(why);
        if (wc.OnConnectError) wc.OnConnectError(wc);
        return out;
    }
    if (copied) out.Done();
    return out;
}

namespace {

bool CopyFile(TransferRun& run, const TransferItem& in, netshare::ShareConnection* share, TransferOutcome& out) {
    const TZandrelWebCopyItem& item = in.values;
    const std::string& Host = item.FTPHost;
    const std::string& URL = item.URL;
    const std::string& TargetDir = item.TargetDir;
    const std::string& TargetFilename = item.TargetFilename;
    TZandrelWebCopy& wc = run.component;
    const std::string urlName = ExtractUrlFileName(URL);
    std::unique_ptr<CopySource> input;

    std::string source = Host.empty() ? URL : Host + (Host.find('\\') != std::string::npos ? "\\" : "/") + URL;
    if (Host.empty() && StartsWithFileScheme(source)) source.erase(0, 7);

    const std::string name = TargetFilename.empty() ? urlName : TargetFilename;
    std::string target = JoinDirFile(TargetDir, name);
    run.display.SetLastTarget(target, TargetDir);
    if (source == target) {
        run.SetReason("the source and the target are the same file");
        run.ReportError(errIdenticalFiles, kMsgIdenticalFiles + source);
        return false;
    }
    if (TargetFilename.empty() && (urlName.empty() || urlName == "." || urlName == "..")) {
        // No file name to save under: writing there would mean the folder itself or its parent.
        run.SetReason("the source \"" + URL + "\" names no file");
        run.ReportError(errOpenSource, kMsgOpenSource + source);
        return false;
    }

    if (share) {
        std::string why;
        auto file = share->OpenRead(URL, why);
        if (!file) {
            run.SetReason(why);
            run.ReportError(errOpenSource, kMsgOpenSource + source);
            return false;
        }
        input = std::make_unique<ShareSource>(std::move(file));
    } else {
        auto local = std::make_unique<LocalSource>();
        if (!local->Open(source)) {
            run.SetReason(errno == EINVAL ? "not a regular file (a pipe, a device or a socket)" : LocalFailureReason());
            run.ReportError(errOpenSource, kMsgOpenSource + source);
            return false;
        }
        // The same file under another path: replacing it with itself is no copy.
        if (local->IsSameFileAs(target)) {
            run.SetReason(target + " is the source file itself");
            run.ReportError(errIdenticalFiles, kMsgIdenticalFiles + source);
            return false;
        }
        input = std::move(local);
    }

    if (item.CopyNewerOnly || wc.OnFileDateCheck) {
        rtl::FILETIME local;
        rtl::FileTimeToLocalFileTime(input->LastWriteTime(), local);
        const TDateTime sourceDate = FileTimeToDate(local);
        if (wc.OnFileDateCheck) {
            bool allow = true;
            wc.OnFileDateCheck(wc, in.idx, sourceDate, allow);
            if (!allow) return false;
            out.fileDate = sourceDate;
        } else if (IsLaterDate(sourceDate, out.fileDate)) {
            out.fileDate = sourceDate;
        } else {
            out.notNewer = true;
            out.fileDate = sourceDate;
            input.reset();
            if (wc.OnNoNewFileFound) wc.OnNoNewFileFound(wc, source, out.fileDate, sourceDate);
            return false;
        }
    }
    const uint64_t size = input->Size();

    // The data goes to a temporary file beside the target, which takes the target's name only
    // once complete: an existing file is replaced by a whole copy or not at all.
    LocalFile output;
    if (!OpenDownloadTarget(run, target, output, kMsgCreateTarget)) return false;

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
                        run.SetReason(std::strerror(error));
                        run.ReportError(errReadSource, kMsgReadSource + source);
                        return false;
                    }
                }
            }
            if (!kernelCopy) {
                block.resize(kCopyBlock);
                n = input->Read(block.data(), block.size(), why);
            }
            if (n < 0 && run.cancelled) break; // given up while the server kept it waiting
            if (n < 0) {
                run.SetReason(why);
                run.ReportError(errReadSource, kMsgReadSource + source);
                return false;
            }
            if (n > 0 && !kernelCopy) output.Write(block.data(), static_cast<size_t>(n), target);
            copied += static_cast<uint64_t>(n);
            // An empty file is copied whole at once.
            if (size == 0) run.display.ShowBarFull();
            const bool cancel = run.ProgressStep(copied, size, start, wc.DlgCopying);
            if (n == 0 || cancel) break;
        }
        if (run.cancelled) return false; // the temporary file goes; an existing file stays
        output.Finish(target);
    } catch (const LocalFileError& e) {
        run.SetReason(e.Reason());
        run.ReportError(errWriteTarget, kMsgWriteTarget + target);
        return false;
    }
    if (!output.Publish()) {
        run.SetReason(LocalFailureReason());
        run.ReportError(errWriteTarget, kMsgWriteTarget + target);
        return false;
    }
    out.storedName = target;
    return true;
}

} // namespace
} // namespace zandrel::webcopy
