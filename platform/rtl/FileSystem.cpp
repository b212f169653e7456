#include "platform/rtl/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/rtl/Wildcard.h"

namespace zandrel::rtl {
namespace fs = std::filesystem;

std::vector<FoundFile> FindFiles(const std::string& folder, std::string_view mask, uint32_t attributeMask) {
    std::vector<FoundFile> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!MatchesMask(name, mask)) continue;
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

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st{};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    const int out = open(target.c_str(), flags, st.st_mode & 0777);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    off_t remaining = st.st_size;
    while (remaining > 0) {
        ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // Older kernels or file systems without the kernel's copy: fall back to read/write.
            char buffer[1 << 16];
            n = read(in, buffer, sizeof buffer);
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
                if (w <= 0) {
                    n = -1;
                    break;
                }
                done += w;
            }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0 && remaining == 0;
            break;
        }
        remaining -= n;
    }
    if (ok) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
        fchmod(out, st.st_mode & 0777);
    }
    if (close(out) != 0) ok = false;
    close(in);
    if (!ok) unlink(target.c_str());
    return ok;
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
