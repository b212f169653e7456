#include "platform/registry/HiveFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/registry/Errors.h"
#include "platform/registry/RegFileFormat.h"

namespace zandrel::registry {
namespace {

[[noreturn]] void ThrowSystemError(const std::string& what, const std::string& path, int error) {
    throw Error(what + " '" + path + "': " + std::strerror(error));
}

// Closes a descriptor on every path out of a scope.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result, since close can be where a delayed write error shows.
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) return entry->pw_dir;
    throw Error("Cannot find the home folder for the user settings");
}

std::string ParentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates the folder and its missing parents, private to the user: the store holds the scrambled
// FTP password.
void CreateFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) throw Error("Settings folder '" + folder + "' is not a folder");
        return;
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder) CreateFolders(parent);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ThrowSystemError("Cannot create folder", folder, errno);
}

std::string ReadWholeFile(const std::string& path, bool& exists) {
    exists = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        ThrowSystemError("Cannot open", path, errno);
    }
    FileHandle file(fd);
    exists = true;
    std::string bytes;
    std::vector<char> buffer(64 * 1024);
    while (true) {
        const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowSystemError("Cannot read", path, errno);
        }
        if (n == 0) break;
        bytes.append(buffer.data(), static_cast<size_t>(n));
    }
    return bytes;
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowSystemError("Cannot write", path, errno);
        }
        done += static_cast<size_t>(n);
    }
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowSystemError("Cannot open folder", folder, errno);
    FileHandle dir(fd);
    if (::fsync(dir.get()) != 0 && errno != EINVAL) ThrowSystemError("Cannot flush folder", folder, errno);
}

// Writes `text` to a temporary file beside `path`, flushes it, and renames it over `path`. On any
// failure the temporary file is removed and the old file stays as it was.
void ReplaceAtomically(const std::string& path, const std::string& text) {
    const std::string folder = ParentFolder(path);
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) ThrowSystemError("Cannot create a temporary file beside", path, errno);
    FileHandle file(fd);
    try {
        WriteAll(file.get(), text, temp);
        if (::fchmod(file.get(), 0600) != 0) ThrowSystemError("Cannot set the mode of", temp, errno);
        if (::fsync(file.get()) != 0) ThrowSystemError("Cannot flush", temp, errno);
        if (file.close() != 0) ThrowSystemError("Cannot close", temp, errno);
        if (::rename(temp.c_str(), path.c_str()) != 0) ThrowSystemError("Cannot replace", path, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    SyncFolder(folder);
}

// The file a save replaces. When the store is a symbolic link (dotfile managers keep the real file
// elsewhere), the new text goes beside the file the link names and the link stays in place; a
// rename over the link itself would cut it off from that file.
std::string SaveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) ThrowSystemError("Cannot follow the link", path, errno);
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// Holds the writers' lock for one read-modify-write.
class WriterLock {
public:
    explicit WriterLock(const std::string& lockPath)
        : file_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (file_.get() < 0) ThrowSystemError("Cannot open the lock file", lockPath, errno);
        while (::flock(file_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) ThrowSystemError("Cannot lock", lockPath, errno);
        }
    }
    // Closing the descriptor releases the lock.

private:
    FileHandle file_;
};

} // namespace

std::string UserHivePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = (config != nullptr && config[0] == '/') ? std::string(config) : HomeFolder() + "/.config";
    return base + "/zandrel/user.reg";
}

HiveFile::HiveFile(std::string path) : path_(std::move(path)) {}

Hive HiveFile::Load() const {
    bool exists = false;
    const std::string bytes = ReadWholeFile(path_, exists);
    if (!exists) return {};
    return ParseRegFile(bytes, path_);
}

void HiveFile::Update(const std::function<bool(Hive&)>& change) {
    CreateFolders(ParentFolder(path_));
    WriterLock lock(lockPath());
    Hive hive = Load(); // throws for a damaged file, before anything is written
    if (!change(hive)) return;
    const std::string text = FormatRegFile(hive);
    // Never put a file on disk that this reader would refuse.
    ParseRegFile(text, path_ + " (new contents)");
    ReplaceAtomically(SaveTarget(path_), text);
}

} // namespace zandrel::registry
