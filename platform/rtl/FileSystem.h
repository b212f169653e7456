#pragma once
// The runtime's file routines that the system code relies on, over POSIX.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Entries of `folder` whose names match `mask` (see MatchesMask) and whose attributes are allowed
// by `attributeMask` (directories and hidden entries need their bit, as in the runtime's
// FindFirst). Sorted by name, "." and ".." left out; not recursive. A folder that cannot be read
// gives an empty list.
std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask, uint32_t attributeMask);

bool FileExists(const std::string& path);      // a regular file (or a link to one)
bool DirectoryExists(const std::string& path); // a folder (or a link to one)
// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);
// Copies the content with the kernel's copy and keeps the modification time and permission bits,
// as CopyFile did. With failIfExists false an existing target is replaced. Refuses directories.
bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);

std::string ExtractFilePath(std::string_view path); // up to and including the last "/"
std::string ExtractFileDir(std::string_view path);  // the same without the trailing "/"
std::string ExtractFileName(std::string_view path); // after the last "/"
std::string ExtractFileExt(std::string_view path);  // from the last "." of the name part, dot included
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// Replaces every occurrence of `from` in `text` (case-sensitive); an empty `from` changes nothing.
std::string StringReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace zandrel::rtl
