#pragma once
// The runtime's file routines that the system code relies on, over POSIX.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/DateTime.h"

namespace zandrel::rtl {

constexpr char PathDelim = '/';

enum FileAttribute : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
    faNormal = 0x80,
    faAnyFile = 0x1FF,
};

struct FoundFile {
    std::string name;    // the entry's name, without folder
    uint32_t attributes; // FileAttribute bits; dot-files count as hidden
    uint64_t size;
};

// Entries of `folder` whose names match `mask` (see MatchesFileMask) and whose attributes are allowed
// by `attributeMask` (directories and hidden entries need their bit, as in the runtime's
// FindFirst). Sorted by name, "." and ".." left out; not recursive. A folder that cannot be read
// gives an empty list.
std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask, uint32_t attributeMask);

bool FileExists(const std::string& path);      // a regular file (or a link to one)
bool DirectoryExists(const std::string& path); // a folder (or a link to one)
// Creates one folder, whose parent must exist; false (errno set) when it cannot, or it exists.
bool CreateDirectory(const std::string& path);
// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);
// Removes an empty folder; a folder that still holds anything stays.
bool RemoveDirectory(const std::string& path);
// Copies the content and keeps the modification time and permission bits, as CopyFile did. With
// failIfExists false an existing target is replaced. Refuses anything that is not a regular file
// (without waiting on a pipe) and reads to the end even where the size given is 0 (/proc).
bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);

// The system's text for an errno value ("No space left on device").
std::string SystemErrorText(int error);

// What a path names; a symbolic link is reported as such, not as what it points to.
enum class PathKind { Missing, File, Directory, SymbolicLink, Other };
PathKind KindOfPath(const std::string& path);

// Makes a new, empty folder at `preferred`; where that name is taken (by anyone's folder, a file,
// a link), a new folder beside it named `preferred` + "-" + six random characters. The folder is
// this caller's alone: an existing one is never reused, a link never followed. Raises rtl::Error
// with the system's reason when none can be made.
std::string CreateFreshDirectory(const std::string& preferred);

// Creates the file at `path`, which must not exist yet (a link there counts as existing), with
// `content` and the permission bits `mode` (-1: 0666 less the umask). An empty string when done,
// else why not, naming the file; a file that could not be written whole is removed again.
std::string CreateNewFile(const std::string& path, std::string_view content, int mode = -1);
// Creates a file of a new name, `folder` + "/" + `prefix` + six random characters, never
// following a link, holding `content`, with the permission bits `mode` (0666 and no umask for
// the usual ones of a new file). Raises rtl::Error with the system's reason when it cannot.
std::string CreateUniqueFile(const std::string& folder, const std::string& prefix, std::string_view content,
                             int mode = -1);
// The permission bits of a regular file, or -1.
int FilePermissions(const std::string& path);
bool SetFilePermissions(const std::string& path, int mode);

// An open file, closed when the object goes. Calls that fail return false (or -1) with the
// system's reason in errno; calls the system interrupts are repeated.
class OpenFile {
public:
    OpenFile() = default;
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // An existing regular file, for reading. Anything else fails without waiting (a pipe with no
    // writer, a device): EISDIR for a folder, EINVAL for the rest.
    bool OpenForReading(const std::string& path);
    // For writing: created with the usual permissions, or emptied when it exists.
    bool CreateOrTruncate(const std::string& path);
    // For writing, at a name nothing has yet (EEXIST otherwise).
    bool CreateNew(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }

    // Opened for reading: the size, the last write time (UTC) and whether `path` names this
    // very file (under another name, through a link, by another path).
    uint64_t Size() const { return size_; }
    FILETIME LastWriteTime() const { return modified_; }
    bool IsSameFileAs(const std::string& path) const;

    // Up to `count` bytes; 0 at the end of the file, -1 on failure.
    int64_t Read(void* buffer, size_t count);
    // All `count` bytes; false when the system takes no more.
    bool WriteAll(const void* data, size_t count);
    // Up to `count` bytes moved by the kernel from this file into `target`, at both files'
    // positions, without passing through this process (0 at the end). -1 on failure; errno EXDEV,
    // EINVAL, ENOSYS or EOPNOTSUPP means the kernel cannot copy between these two files.
    int64_t CopyTo(OpenFile& target, size_t count);
    bool SetPermissions(int mode);
    // False when closing reports a late write failure (a full disk, a network file system).
    bool Close();

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    FILETIME modified_{};
    uint64_t device_ = 0, inode_ = 0;
};

// Renames `from` to `to`, replacing what is there; false with errno set.
bool RenameFile(const std::string& from, const std::string& to);

// Moves `from` over `to` in one step (both in one folder): whoever looks sees the old file or
// the new one, never none and never a part. A link at `to` is replaced, not followed. An empty
// string when done, else the system's reason.
std::string ReplaceFile(const std::string& from, const std::string& to);

// Puts a file's content at `target`, a name that must not exist yet: a hard link to the same file
// where the file system allows one (nothing is copied and nothing is ever written through it),
// otherwise a copy. A symbolic link stands for the file it points to. Anything that is not a
// regular file (folder, pipe, device, socket) is left alone without being opened.
struct StageResult {
    enum Outcome { Linked, Copied, NotAFile, Failed } outcome = Failed;
    // Failed: why. The system's words where the file cannot be read ("Permission denied"); where
    // the copy cannot be written, that too, naming the target.
    std::string error;
};
StageResult LinkOrCopyFile(const std::string& source, const std::string& target);

std::string ExtractFilePath(std::string_view path); // up to and including the last "/"
std::string ExtractFileDir(std::string_view path);  // the same without the trailing "/"
std::string ExtractFileName(std::string_view path); // after the last "/"
std::string ExtractFileExt(std::string_view path);  // from the last "." of the name part, dot included
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// Replaces every occurrence of `from` in `text` (case-sensitive); an empty `from` changes nothing.
std::string StringReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace zandrel::rtl
