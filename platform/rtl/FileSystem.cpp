#include "platform/rtl/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/rtl/Error.h"
#include "platform/rtl/Wildcard.h"

namespace zandrel::rtl {
namespace fs = std::filesystem;

std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask, uint32_t attributeMask) {
    std::vector<FoundFile> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!MatchesFileMask(name, mask)) continue;
        uint32_t attributes = 0;
        std::error_code typeError;
        const bool isDir = it->is_directory(typeError);
        if (isDir) attributes |= faDirectory;
        if (name.front() == '.') attributes |= faHidden;
        if (access(it->path().c_str(), W_OK) != 0 && !isDir) attributes |= faReadOnly;
        if (!isDir) attributes |= faArchive;
        // The runtime's rule: an entry with a directory, hidden or system bit shows up only when
        // the caller's mask allows that bit.
        const uint32_t special = attributes & (faDirectory | faHidden | faSysFile);
        if ((special & ~attributeMask) != 0) continue;
        std::error_code sizeError;
        const uint64_t size = isDir ? 0 : it->file_size(sizeError);
        found.push_back({name, attributes, sizeError ? 0 : size});
    }
    std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
    return found;
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RemoveDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

std::string SystemErrorText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

namespace {

// Opens a file for reading without waiting on a pipe or a device; -1 with errno set (EINVAL for
// something that is not a regular file, once opened).
int OpenRegularForReading(const std::string& path, struct stat& st) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t w = write(fd, data, size);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = EIO;
            return false;
        }
        data += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

// Copies everything readable from `in` to `out`, to the end of the file whatever size it claims.
// Sets `readFailed` to tell a read error from a write error; errno holds the reason.
bool CopyContent(int in, int out, off_t sizeHint, bool& readFailed) {
    readFailed = false;
    // The kernel's copy for the size the file claims; what is left (or all of it, where the kernel
    // cannot copy between these two) goes through a buffer.
    off_t remaining = sizeHint;
    while (remaining > 0) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) break;
        if (n < 0) {
            // Which side failed is not told apart here; a read error is the likelier for a copy.
            readFailed = errno != ENOSPC && errno != EFBIG && errno != EDQUOT;
            return false;
        }
        if (n == 0) break;
        remaining -= n;
    }
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            readFailed = true;
            return false;
        }
        if (n == 0) return true;
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) return false;
    }
}

// Copies the open regular file to a new file at `target`; an empty string when done, else why: the
// system's reason alone where the file could not be read, naming the target where it could not be
// written.
std::string CopyOpenFile(int in, const struct stat& st, const std::string& target, int createFlags) {
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | createFlags, st.st_mode & 0777);
    if (out < 0) return "cannot create \"" + target + "\": " + SystemErrorText(errno);
    bool readFailed = false;
    std::string error;
    if (!CopyContent(in, out, st.st_size, readFailed))
        error = (readFailed ? "" : "cannot write \"" + target + "\": ") + SystemErrorText(errno);
    if (error.empty()) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
        fchmod(out, st.st_mode & 0777);
    }
    if (close(out) != 0 && error.empty()) error = "cannot write \"" + target + "\": " + SystemErrorText(errno);
    if (!error.empty()) unlink(target.c_str());
    return error;
}

// Six characters for a name no one else picks at the same moment.
std::string RandomSuffix() {
    static std::atomic<uint64_t> counter{std::random_device{}()};
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint64_t x = counter.fetch_add(0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(getpid()) << 20;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    std::string out;
    for (int i = 0; i < 6; ++i, x /= 62) out += kChars[x % 62];
    return out;
}

constexpr int kNameAttempts = 100;

} // namespace

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    struct stat st {};
    const int in = OpenRegularForReading(source, st);
    if (in < 0) return false;
    const bool ok = CopyOpenFile(in, st, target, failIfExists ? O_EXCL : O_TRUNC).empty();
    close(in);
    return ok;
}

PathKind KindOfPath(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return PathKind::Missing;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Directory;
    if (S_ISLNK(st.st_mode)) return PathKind::SymbolicLink;
    return PathKind::Other;
}

std::string CreateFreshDirectory(const std::string& preferred) {
    std::string path = preferred;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (mkdir(path.c_str(), 0777) == 0) return path;
        if (errno != EEXIST) break;
        path = preferred + "-" + RandomSuffix();
    }
    throw Error("cannot make the folder \"" + path + "\": " + SystemErrorText(errno));
}

std::string CreateNewFile(const std::string& path, std::string_view content, int mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        std::string message = "cannot create \"" + path + "\": " + SystemErrorText(err);
        errno = err; // callers tell a taken name (EEXIST) from other reasons
        return message;
    }
    bool ok = WriteAll(fd, content.data(), content.size());
    if (ok && mode >= 0) ok = fchmod(fd, static_cast<mode_t>(mode) & 07777) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok) return {};
    unlink(path.c_str());
    return "cannot write \"" + path + "\": " + SystemErrorText(err);
}

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string_view content, int mode) {
    std::string error;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = folder + PathDelim + prefix + RandomSuffix();
        error = CreateNewFile(path, content, mode);
        if (error.empty()) return path;
        if (errno != EEXIST) break;
    }
    throw Error(error);
}

int FilePermissions(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

bool SetFilePermissions(const std::string& path, int mode) {
    return chmod(path.c_str(), static_cast<mode_t>(mode) & 07777) == 0;
}

OpenFile::~OpenFile() {
    if (fd_ >= 0) close(fd_);
}

bool OpenFile::OpenForReading(const std::string& path) {
    struct stat st {};
    fd_ = OpenRegularForReading(path, st);
    if (fd_ < 0) {
        if (errno == EINVAL && S_ISDIR(st.st_mode)) errno = EISDIR;
        return false;
    }
    // Opened without waiting; reads wait as usual.
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<uint64_t>(st.st_size);
    modified_ = UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return true;
}

bool OpenFile::CreateOrTruncate(const std::string& path) {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool OpenFile::CreateNew(const std::string& path) {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool OpenFile::IsSameFileAs(const std::string& path) const {
    struct stat st {};
    return fd_ >= 0 && stat(path.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

int64_t OpenFile::Read(void* buffer, size_t count) {
    for (;;) {
        const ssize_t n = read(fd_, buffer, count);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool OpenFile::WriteAll(const void* data, size_t count) { return zandrel::rtl::WriteAll(fd_, static_cast<const char*>(data), count); }

int64_t OpenFile::CopyTo(OpenFile& target, size_t count) {
    for (;;) {
        const ssize_t n = copy_file_range(fd_, nullptr, target.fd_, nullptr, count, 0);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool OpenFile::SetPermissions(int mode) { return fchmod(fd_, static_cast<mode_t>(mode) & 07777) == 0; }

bool OpenFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

std::string ReplaceFile(const std::string& from, const std::string& to) {
    if (RenameFile(from, to)) return {};
    return SystemErrorText(errno);
}

StageResult LinkOrCopyFile(const std::string& source, const std::string& target) {
    StageResult result;
    struct stat st {};
    // Looked at first, so that a pipe or a device is never opened at all.
    if (stat(source.c_str(), &st) != 0) {
        result.error = SystemErrorText(errno);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.outcome = StageResult::NotAFile;
        return result;
    }
    // Opening it shows that it can be read, which a link would not.
    const int in = OpenRegularForReading(source, st);
    if (in < 0) {
        if (errno == EINVAL) {
            result.outcome = StageResult::NotAFile; // changed into something else meanwhile
        } else {
            result.error = SystemErrorText(errno);
        }
        return result;
    }
    if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        close(in);
        result.outcome = StageResult::Linked;
        return result;
    }
    // No hard links here (another file system behind a link, FAT, links not allowed): copy.
    result.error = CopyOpenFile(in, st, target, O_EXCL);
    close(in);
    if (result.error.empty()) result.outcome = StageResult::Copied;
    return result;
}

std::string ExtractFilePath(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtractFileDir(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    if (slash == std::string_view::npos) return {};
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string ExtractFileName(std::string_view path) {
    const auto slash = path.rfind(PathDelim);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const std::string name = ExtractFileName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    if (out.empty() || out.back() != PathDelim) out += PathDelim;
    return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string out(path);
    while (out.size() > 1 && out.back() == PathDelim) out.pop_back();
    return out;
}

std::string StringReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    size_t pos = 0;
    for (size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out.append(text.substr(pos, hit - pos));
        out.append(to);
    }
    out.append(text.substr(pos));
    return out;
}

} // namespace zandrel::rtl
