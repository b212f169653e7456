#include "platform/shell/ZipPacker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include <libdeflate.h>
#include <zip.h>

#include "platform/shell/DeflatePipeline.h"
#include "platform/shell/DeflatedStore.h"
#include "platform/shell/PackEntries.h"
#include "platform/shell/ShellError.h"

namespace zandrel::shell {
namespace {

// What the sources report back to the packer while libzip writes the archive.
struct WriteState {
    const std::function<bool()>* stopRequested = nullptr;
    std::string readFailure; // the file that could not be read, and why
    bool stopped = false;    // a source ended the writing because a stop was asked for
    bool Stopping() {
        stopped = stopped || (*stopRequested && (*stopRequested)());
        return stopped;
    }
};

// One entry's data as libzip reads it while it writes the archive, from one of three places:
// - deflated data the pipeline made and the store holds: STAT reports the method, both sizes and
//   the CRC, so libzip copies the data as it is;
// - a file the pipeline read already and found not worth deflating: stored, with the CRC known,
//   and the reading here checks that the file is still what was read then;
// - a file too large to hold whole, which libzip reads and deflates itself; the file must keep the
//   size it had when it was listed and the modification time it had when it was opened until its
//   last byte is read, or it changed under the reading and the archive would hold a mix of both.
// Unlike libzip's own file source it never waits on a pipe that took the file's place, stops when
// asked (writing a large archive takes a while; libzip then removes the file it was writing), and
// names the file it could not read.
struct EntrySource {
    WriteState* state;
    std::string path;
    uint64_t size;
    time_t mtime;
    const DeflatedStore* store = nullptr; // deflated data, when set
    DeflatedStore::Location where{};
    bool knownStored = false;
    uint32_t crc = 0;
    uint32_t runningCrc = 0;
    uint64_t position = 0;
    int fd = -1;
    struct timespec openedMtime {}; // of a streamed file, when it was opened
    zip_error_t error{};

    bool Streamed() const { return !store && !knownStored; }
    zip_int64_t Changed() {
        zip_error_set(&error, ZIP_ER_INCONS, 0);
        if (state->readFailure.empty()) state->readFailure = "\"" + path + "\" changed while it was being packed";
        return -1;
    }

    zip_int64_t Fail(int zipError, int systemError) {
        zip_error_set(&error, zipError, systemError);
        if (systemError != 0 && state->readFailure.empty())
            state->readFailure = "cannot read \"" + path + "\": " + std::strerror(systemError);
        return -1;
    }
    zip_int64_t Open() {
        position = 0;
        runningCrc = 0;
        if (store) return 0;
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return Fail(ZIP_ER_OPEN, errno);
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Fail(ZIP_ER_OPEN, EINVAL);
        openedMtime = st.st_mtim;
        if (Streamed() && static_cast<uint64_t>(st.st_size) != size) return Changed();
        return 0;
    }
    // The status change time is not compared: it moves also when someone links the file, as
    // another run staging the same project does.
    bool SameAsOpened() const {
        struct stat st {};
        return fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) == size &&
               st.st_mtim.tv_sec == openedMtime.tv_sec && st.st_mtim.tv_nsec == openedMtime.tv_nsec;
    }
    zip_int64_t Read(void* data, zip_uint64_t length) {
        if (state->Stopping()) return Fail(ZIP_ER_CANCELLED, 0);
        if (store) {
            const int64_t n = store->Read(where, position, data, length);
            if (n < 0) return Fail(ZIP_ER_READ, EIO);
            position += static_cast<uint64_t>(n);
            return n;
        }
        ssize_t n;
        do {
            n = read(fd, data, length);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return Fail(ZIP_ER_READ, errno);
        position += static_cast<uint64_t>(n);
        if (knownStored) {
            runningCrc = libdeflate_crc32(runningCrc, data, static_cast<size_t>(n));
            if (position > size || (n == 0 && (position != size || runningCrc != crc))) return Changed();
        } else if (position > size || (n == 0 && (position != size || !SameAsOpened()))) {
            return Changed();
        }
        return n;
    }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    void Stat(zip_stat_t* st) const {
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = size;
        st->mtime = mtime;
        if (store || knownStored) {
            st->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
            st->comp_size = store ? where.length : size;
            st->comp_method = store ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
            st->encryption_method = ZIP_EM_NONE;
            st->crc = crc;
        }
    }
};

zip_int64_t EntrySourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<EntrySource*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        return source->Open();
    case ZIP_SOURCE_READ:
        return source->Read(data, length);
    case ZIP_SOURCE_CLOSE:
        source->Close();
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!st) return -1;
        source->Stat(st);
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
        source->Close();
        zip_error_fini(&source->error);
        delete source;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

std::string LibzipMessage(zip_t* archive) { return zip_strerror(archive); }

// The open archive; discarded (leaving the file as it was) unless closed successfully.
struct ArchiveHandle {
    zip_t* archive = nullptr;
    ~ArchiveHandle() {
        if (archive) zip_discard(archive);
    }
};

zip_t* OpenForWriting(const std::string& archivePath) {
    struct stat st {};
    // libzip takes an empty file for something that is not a ZIP; the shell treats it as an
    // empty archive, and so do we.
    const int flags = (stat(archivePath.c_str(), &st) == 0 && st.st_size == 0) ? ZIP_CREATE | ZIP_TRUNCATE : ZIP_CREATE;
    // No ZIP_CHECKCONS: it would refuse the empty-archive stub, whose two trailing bytes it
    // counts as an inconsistency.
    int code = 0;
    zip_t* archive = zip_open(archivePath.c_str(), flags, &code);
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string message = "Cannot open the archive \"" + archivePath + "\": " + zip_error_strerror(&error);
        zip_error_fini(&error);
        throw ShellError(message);
    }
    return archive;
}

bool IsUtf8WithoutControls(const std::string& name) {
    size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) return false;
        size_t more = 0;
        uint32_t cp = c;
        if (c < 0x80) {
            more = 0;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (more > name.size() - i - 1) return false;
        for (size_t k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(name[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[more] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        i += more + 1;
    }
    return true;
}

// How a name goes into the archive: UTF-8 names with the format's UTF-8 flag; any other name (a
// legacy encoding, control characters) as the very bytes the file system holds, without the
// flag, as zip tools store them.
zip_flags_t NameEncoding(const std::string& name) {
    return IsUtf8WithoutControls(name) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_CP437;
}

// The format's dates run from 1980 to 2107 (local time); a date outside is stored as the nearest
// one inside rather than wrapped around.
time_t ClampToZipDates(time_t mtime) {
    struct tm local {};
    if (!localtime_r(&mtime, &local)) return mtime;
    struct tm edge {};
    edge.tm_isdst = -1;
    if (local.tm_year < 80) {
        edge.tm_year = 80, edge.tm_mon = 0, edge.tm_mday = 1;
    } else if (local.tm_year > 207) {
        edge.tm_year = 207, edge.tm_mon = 11, edge.tm_mday = 31, edge.tm_hour = 23, edge.tm_min = 59, edge.tm_sec = 58;
    } else {
        return mtime;
    }
    return mktime(&edge);
}

void SetEntryDetails(zip_t* archive, zip_uint64_t index, const PackEntry& entry) {
    // Unix permission bits in the high half, and the DOS folder bit for folders.
    const zip_uint32_t attributes =
        (static_cast<zip_uint32_t>(entry.mode & 0xFFFF) << 16) | (entry.isDirectory ? 0x10u : 0u);
    if (zip_file_set_mtime(archive, index, ClampToZipDates(entry.mtime), 0) != 0 ||
        zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, attributes) != 0)
        throw ShellError("Cannot set the details of \"" + entry.name + "\": " + LibzipMessage(archive));
}

// Adds under the entry's name. libzip refuses the raw form for a few names that its own looser
// test takes for UTF-8 (overlong forms, surrogates); those go in as libzip guesses, still byte
// for byte.
template <class AddFn>
zip_int64_t AddNamed(zip_t* archive, const std::string& name, AddFn add) {
    const zip_flags_t encoding = NameEncoding(name);
    zip_int64_t index = add(encoding);
    if (index < 0 && encoding == ZIP_FL_ENC_CP437 && zip_error_code_zip(zip_get_error(archive)) == ZIP_ER_INVAL) {
        zip_error_clear(archive);
        index = add(ZIP_FL_ENC_GUESS);
    }
    return index;
}

void AddFolderEntry(zip_t* archive, const PackEntry& entry) {
    zip_int64_t index = zip_name_locate(archive, entry.name.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0)
        index = AddNamed(archive, entry.name, [&](zip_flags_t f) { return zip_dir_add(archive, entry.name.c_str(), f); });
    if (index < 0) throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    SetEntryDetails(archive, static_cast<zip_uint64_t>(index), entry);
}

// Adds `source` under the entry's name, replacing an entry of that name; takes over the source.
zip_uint64_t AddSource(zip_t* archive, const PackEntry& entry, zip_source_t* source) {
    if (!source) throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    // Names are compared byte for byte: an existing entry of the same bytes is replaced.
    zip_int64_t index = zip_name_locate(archive, entry.name.c_str(), ZIP_FL_ENC_RAW);
    if (index >= 0) {
        if (zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) != 0) index = -1;
    } else {
        index = AddNamed(archive, entry.name,
                         [&](zip_flags_t f) { return zip_file_add(archive, entry.name.c_str(), source, f); });
    }
    if (index < 0) {
        zip_source_free(source);
        throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    }
    return static_cast<zip_uint64_t>(index);
}

// Hands the source to libzip under the entry's name, with the compression asked for (where the
// source does not bring its data compressed already) and the entry's details.
void AddEntrySource(zip_t* archive, const PackEntry& entry, EntrySource* state, zip_int32_t method, zip_uint32_t level) {
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, EntrySourceCallback, state);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    const zip_uint64_t index = AddSource(archive, entry, source);
    if (zip_set_file_compression(archive, index, method, level) != 0)
        throw ShellError("Cannot set the compression of \"" + entry.name + "\": " + LibzipMessage(archive));
    SetEntryDetails(archive, index, entry);
}

EntrySource* NewEntrySource(const PackEntry& entry, WriteState& writing) {
    return new EntrySource{&writing, entry.path, entry.size, ClampToZipDates(entry.mtime)};
}

} // namespace

std::vector<CopyProblem> PackIntoZip(const std::string& archivePath, const std::vector<PackItem>& items,
                                     const PackOptions& options) {
    auto stopping = [&] { return options.stopRequested && options.stopRequested(); };
    WriteState writing;
    writing.stopRequested = &options.stopRequested;
    std::vector<CopyProblem> leftOut;
    const std::vector<PackEntry> entries = ExpandPackItems(items, archivePath, leftOut);

    ArchiveHandle handle;
    handle.archive = OpenForWriting(archivePath);
    zip_t* archive = handle.archive;

    // Files small enough to hold whole are read and deflated ahead on the workers; their results
    // come back in order. Deflated data is kept for libzip; data that deflate could not shrink is
    // stored, and libzip reads it again from the file itself, so it is not kept at all.
    std::vector<std::string> pipelinePaths;
    for (const auto& entry : entries)
        if (!entry.isDirectory && entry.size <= options.inMemoryLimit) pipelinePaths.push_back(entry.path);
    std::optional<DeflatePipeline> pipeline;
    if (!pipelinePaths.empty())
        pipeline.emplace(std::move(pipelinePaths), options.level, options.workers, options.window);

    std::string folder = archivePath.substr(0, archivePath.find_last_of('/') + 1);
    if (folder.empty()) folder = ".";
    DeflatedStore store(folder, options.deflatedMemoryLimit);

    size_t next = 0;
    for (const auto& entry : entries) {
        if (stopping()) throw CopyStopped();
        if (entry.isDirectory) {
            AddFolderEntry(archive, entry);
        } else if (entry.size > options.inMemoryLimit) {
            AddEntrySource(archive, entry, NewEntrySource(entry, writing), ZIP_CM_DEFLATE,
                           static_cast<zip_uint32_t>(options.level));
        } else {
            const size_t index = next++;
            DeflatedEntry result = pipeline->Take(index);
            // A file that could not be read is left out; one that changed under the reading fails
            // the archive, as it would when libzip reads it.
            if (result.changed) throw ShellError("\"" + entry.path + "\" " + result.error);
            if (!result.error.empty()) {
                leftOut.push_back({entry.path, result.error});
                continue;
            }
            const DeflatedStore::Location where = result.deflated ? store.Put(std::move(result.data))
                                                                  : DeflatedStore::Location{};
            EntrySource* source = NewEntrySource(entry, writing);
            source->size = result.size;
            source->crc = result.crc;
            if (result.deflated) {
                source->store = &store;
                source->where = where;
                AddEntrySource(archive, entry, source, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(options.level));
            } else {
                source->knownStored = true;
                AddEntrySource(archive, entry, source, ZIP_CM_STORE, 0);
            }
        }
    }
    pipeline.reset();

    // libzip writes the new archive beside the old one and renames it into place only now.
    if (stopping()) throw CopyStopped();
    if (zip_close(archive) != 0) {
        if (writing.stopped || stopping()) throw CopyStopped();
        throw ShellError("Cannot write the archive \"" + archivePath + "\": " +
                         (writing.readFailure.empty() ? LibzipMessage(archive) : writing.readFailure));
    }
    handle.archive = nullptr;
    return leftOut;
}

bool IsZipArchive(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (st.st_size == 0) {
        const auto dot = path.find_last_of('.');
        if (dot == std::string::npos) return false;
        std::string ext = path.substr(dot);
        for (char& c : ext)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return ext == ".zip";
    }
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!archive) return false;
    zip_discard(archive);
    return true;
}

} // namespace zandrel::shell
