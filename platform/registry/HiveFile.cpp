#include "platform/registry/HiveFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/registry/Errors.h"
#include "platform/registry/RegFileFormat.h"

namespace zandrel::registry {
namespace {

[[noreturn]] void ThrowSystemError(const std::string& what, const std::string& path, int error) {
    throw Error(what + " '" + path + "': " + std::strerror(error));
}

// A step of saving failed; the file on disk is still the old one.
[[noreturn]] void ThrowWriteError(const std::string& what, const std::string& path, int error) {
    throw WriteError(what + " '" + path + "': " + std::strerror(error));
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
        if (!S_ISDIR(info.st_mode)) throw WriteError("'" + folder + "' is not a folder");
        return;
    }
    const std::string parent = ParentFolder(folder);
    if (parent != folder) CreateFolders(parent);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ThrowWriteError("cannot create the folder", folder, errno);
}

// Settings take a few kilobytes; this bounds what a stray file in their place can cost.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

struct StoredFile {
    bool exists = false;
    mode_t mode = 0;
    std::string bytes;
};

StoredFile ReadStoredFile(const std::string& path) {
    StoredFile stored;
    // Non-blocking, so that a FIFO in the file's place cannot stall the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return stored;
        ThrowSystemError("Cannot read the settings file", path, errno);
    }
    FileHandle file(fd);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) ThrowSystemError("Cannot read the settings file", path, errno);
    if (!S_ISREG(info.st_mode))
        throw Error("The settings file '" + path + "' is not a regular file. Move it away to start afresh.");
    if (info.st_size > kMaxFileSize)
        throw Error("The settings file '" + path + "' is " + std::to_string(info.st_size) +
                    " bytes long, far more than settings take. Move it away to start afresh.");
    stored.exists = true;
    stored.mode = info.st_mode;
    std::string& bytes = stored.bytes;
    std::vector<char> buffer(64 * 1024);
    while (true) {
        const ssize_t n = ::read(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowSystemError("Cannot read the settings file", path, errno);
        }
        if (n == 0) break;
        bytes.append(buffer.data(), static_cast<size_t>(n));
        if (bytes.size() > static_cast<size_t>(kMaxFileSize))
            throw Error("The settings file '" + path + "' keeps growing past " + std::to_string(kMaxFileSize) +
                        " bytes, far more than settings take. Move it away to start afresh.");
    }
    return stored;
}

Hive Parse(const StoredFile& stored, const std::string& path) {
    return stored.exists ? ParseRegFile(stored.bytes, path) : Hive{};
}

// The file holds the scrambled FTP password, which other users must not read. Said once per
// file and process: every command reads the store many times.
void WarnIfOthersCanOpen(const std::string& path, mode_t mode) {
    if ((mode & (S_IRWXG | S_IRWXO)) == 0) return;
    static std::mutex mutex;
    static std::set<std::string> warned;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!warned.insert(path).second) return;
    }
    // A read-only file stays read-only: it is never saved over, so only the user can fix it.
    const bool readOnly = (mode & S_IWUSR) == 0;
    std::fprintf(stderr,
                 "zandrel: warning: other users can open the settings file '%s' (mode %04o), which holds your FTP "
                 "password, scrambled but not encrypted. %s: chmod %s '%s'\n",
                 path.c_str(), static_cast<unsigned>(mode & 07777),
                 readOnly ? "Make it private with" : "It is made private at the next save of the settings, or now with",
                 readOnly ? "400" : "600", path.c_str());
}

// A file the user made read-only is a request to keep it as it is: replacing it by a rename
// would pass over that silently.
void RefuseReadOnlyFile(const std::string& target, const std::string& path) {
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) return; // not there yet
    const bool readOnly = (info.st_mode & S_IWUSR) == 0 || (::access(target.c_str(), W_OK) != 0 && errno == EACCES);
    if (!readOnly) return;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    throw WriteError("the settings file '" + path + "' is read-only (mode " + mode +
                     "). To save settings, make it writable: chmod 600 '" + path + "'");
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowWriteError("cannot write", path, errno);
        }
        done += static_cast<size_t>(n);
    }
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowSystemError("The settings were saved, but cannot open the folder", folder, errno);
    FileHandle dir(fd);
    if (::fsync(dir.get()) != 0 && errno != EINVAL)
        ThrowSystemError("The settings were saved, but cannot flush the folder", folder, errno);
}

// Writes `text` to a temporary file beside `path`, flushes it, and renames it over `path`. On any
// failure the temporary file is removed and the old file stays as it was.
void ReplaceAtomically(const std::string& path, const std::string& text) {
    const std::string folder = ParentFolder(path);
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) ThrowWriteError("cannot create a temporary file in", folder, errno);
    FileHandle file(fd);
    try {
        WriteAll(file.get(), text, temp);
        if (::fchmod(file.get(), 0600) != 0) ThrowWriteError("cannot set the mode of", temp, errno);
        if (::fsync(file.get()) != 0) ThrowWriteError("cannot flush", temp, errno);
        if (file.close() != 0) ThrowWriteError("cannot close", temp, errno);
        if (::rename(temp.c_str(), path.c_str()) != 0) ThrowWriteError("cannot replace", path, errno);
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
    if (resolved == nullptr) ThrowWriteError("cannot follow the link", path, errno);
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// Holds the writers' lock for one read-modify-write.
class WriterLock {
public:
    explicit WriterLock(const std::string& lockPath)
        : file_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (file_.get() < 0) ThrowWriteError("cannot open the lock file", lockPath, errno);
        while (::flock(file_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) ThrowWriteError("cannot lock", lockPath, errno);
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
    const StoredFile stored = ReadStoredFile(path_);
    if (stored.exists) WarnIfOthersCanOpen(path_, stored.mode);
    return Parse(stored, path_);
}

void HiveFile::Update(const std::function<bool(Hive&)>& change) {
    // An edit that changes nothing needs neither the lock nor a save, so it also succeeds where
    // the folder cannot be written. A damaged file throws here, before anything is written.
    {
        const StoredFile stored = ReadStoredFile(path_);
        Hive hive = Parse(stored, path_);
        if (!change(hive)) {
            if (stored.exists) WarnIfOthersCanOpen(path_, stored.mode);
            return;
        }
    }
    try {
        CreateFolders(ParentFolder(path_));
        WriterLock lock(lockPath());
        Hive hive = Parse(ReadStoredFile(path_), path_); // what other writers saved meanwhile
        if (!change(hive)) return;
        const std::string text = FormatRegFile(hive);
        // Never put a file on disk that this reader would refuse.
        ParseRegFile(text, path_ + " (new contents)");
        const std::string target = SaveTarget(path_);
        RefuseReadOnlyFile(target, path_);
        ReplaceAtomically(target, text);
    } catch (const WriteError& e) {
        throw WriteError(std::string("Cannot save the settings: ") + e.what() + ". The settings file is as it was.");
    }
}

} // namespace zandrel::registry
