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

// libzip reads an already-deflated entry through this source when the archive is closed. STAT
// reports the method, both sizes and the CRC, so libzip copies the data as it is.
struct DeflatedSource {
    const DeflatedStore* store;
    DeflatedStore::Location where;
    uint64_t size;
    uint32_t crc;
    time_t mtime;
    WriteState* state;
    uint64_t position = 0;
    zip_error_t error;
};

zip_int64_t DeflatedSourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<DeflatedSource*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        // Writing a large archive takes a while: a stop asked for meanwhile ends it here, and
        // libzip then removes the file it was writing.
        if (source->state->Stopping()) {
            zip_error_set(&source->error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        const int64_t n = source->store->Read(source->where, source->position, data, length);
        if (n < 0) {
            zip_error_set(&source->error, ZIP_ER_READ, EIO);
            return -1;
        }
        source->position += static_cast<uint64_t>(n);
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!st) return -1;
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_MTIME |
                    ZIP_STAT_ENCRYPTION_METHOD;
        st->size = source->size;
        st->comp_size = source->where.length;
        st->comp_method = ZIP_CM_DEFLATE;
        st->encryption_method = ZIP_EM_NONE;
        st->crc = source->crc;
        st->mtime = source->mtime;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
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

// A file that libzip reads itself while it writes the archive (stored data, and files too large
// to hold whole). Unlike libzip's own file source it never waits on a pipe that took the file's
// place, stops when asked, and names the file it could not read.
struct FileSource {
    std::string path;
    uint64_t size;
    time_t mtime;
    WriteState* state;
    // Data the pipeline read already and found not worth deflating: libzip takes it as stored,
    // with the CRC known, and the reading here checks that the file is still what was read then.
    bool knownStored = false;
    uint32_t crc = 0;
    uint32_t runningCrc = 0;
    uint64_t done = 0;
    int fd = -1;
    zip_error_t error{};
};

zip_int64_t FileSourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<FileSource*>(userdata);
    auto fail = [&](int zipError, int systemError) -> zip_int64_t {
        zip_error_set(&source->error, zipError, systemError);
        if (systemError != 0 && source->state->readFailure.empty())
            source->state->readFailure = "cannot read \"" + source->path + "\": " + std::strerror(systemError);
        return -1;
    };
    switch (command) {
    case ZIP_SOURCE_OPEN: {
        source->fd = open(source->path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (source->fd < 0) return fail(ZIP_ER_OPEN, errno);
        struct stat st {};
        if (fstat(source->fd, &st) != 0 || !S_ISREG(st.st_mode)) return fail(ZIP_ER_OPEN, EINVAL);
        source->runningCrc = 0;
        source->done = 0;
        return 0;
    }
    case ZIP_SOURCE_READ: {
        if (source->state->Stopping()) return fail(ZIP_ER_CANCELLED, 0);
        while (true) {
            const ssize_t n = read(source->fd, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail(ZIP_ER_READ, errno);
            if (source->knownStored) {
                source->runningCrc = libdeflate_crc32(source->runningCrc, data, static_cast<size_t>(n));
                source->done += static_cast<uint64_t>(n);
                if (source->done > source->size || (n == 0 && (source->done != source->size ||
                                                                source->runningCrc != source->crc))) {
                    zip_error_set(&source->error, ZIP_ER_INCONS, 0);
                    if (source->state->readFailure.empty())
                        source->state->readFailure = "\"" + source->path + "\" changed while it was being packed";
                    return -1;
                }
            }
            return n;
        }
    }
    case ZIP_SOURCE_CLOSE:
        if (source->fd >= 0) close(source->fd);
        source->fd = -1;
        return 0;
    case ZIP_SOURCE_STAT: {
        zip_stat_t* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
        if (!st) return -1;
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        st->size = source->size;
        st->mtime = source->mtime;
        if (source->knownStored) {
            st->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
            st->comp_size = source->size;
            st->comp_method = ZIP_CM_STORE;
            st->encryption_method = ZIP_EM_NONE;
            st->crc = source->crc;
        }
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
        if (source->fd >= 0) close(source->fd);
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

// A file libzip reads itself when the archive is closed, stored or deflated by libzip as asked.
void AddFileSource(zip_t* archive, const PackEntry& entry, zip_int32_t method, zip_uint32_t level, WriteState& state,
                   const DeflatedEntry* stored = nullptr) {
    auto* file = new FileSource{entry.path, entry.size, ClampToZipDates(entry.mtime), &state};
    if (stored) {
        file->knownStored = true;
        file->size = stored->size;
        file->crc = stored->crc;
    }
    zip_error_init(&file->error);
    zip_source_t* source = zip_source_function(archive, FileSourceCallback, file);
    if (!source) {
        zip_error_fini(&file->error);
        delete file;
    }
    const zip_uint64_t index = AddSource(archive, entry, source);
    if (zip_set_file_compression(archive, index, method, level) != 0)
        throw ShellError("Cannot set the compression of \"" + entry.name + "\": " + LibzipMessage(archive));
    SetEntryDetails(archive, index, entry);
}

void AddDeflatedSource(zip_t* archive, const PackEntry& entry, const DeflatedStore& store,
                       DeflatedStore::Location where, const DeflatedEntry& deflated, WriteState& writing) {
    auto* state = new DeflatedSource{&store, where, deflated.size, deflated.crc, ClampToZipDates(entry.mtime),
                                     &writing, 0, {}};
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, DeflatedSourceCallback, state);
    if (!source) {
        zip_error_fini(&state->error);
        delete state;
    }
    const zip_uint64_t index = AddSource(archive, entry, source);
    SetEntryDetails(archive, index, entry);
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
            AddFileSource(archive, entry, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(options.level), writing);
        } else {
            const size_t index = next++;
            DeflatedEntry result = pipeline->Take(index);
            if (!result.error.empty()) {
                leftOut.push_back({entry.path, result.error});
                continue;
            }
            if (result.deflated) {
                const auto where = store.Put(std::move(result.data));
                AddDeflatedSource(archive, entry, store, where, result, writing);
            } else {
                AddFileSource(archive, entry, ZIP_CM_STORE, 0, writing, &result);
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
