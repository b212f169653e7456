#include "platform/shell/ZipPacker.h"

#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <optional>

#include <zip.h>

#include "platform/shell/DeflatePipeline.h"
#include "platform/shell/DeflatedStore.h"
#include "platform/shell/PackEntries.h"
#include "platform/shell/ShellError.h"

namespace zandrel::shell {
namespace {

// libzip reads an already-deflated entry through this source when the archive is closed. STAT
// reports the method, both sizes and the CRC, so libzip copies the data as it is.
struct DeflatedSource {
    const DeflatedStore* store;
    DeflatedStore::Location where;
    uint64_t size;
    uint32_t crc;
    time_t mtime;
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

void SetEntryDetails(zip_t* archive, zip_uint64_t index, const PackEntry& entry) {
    // Unix permission bits in the high half, and the DOS folder bit for folders.
    const zip_uint32_t attributes =
        (static_cast<zip_uint32_t>(entry.mode & 0xFFFF) << 16) | (entry.isDirectory ? 0x10u : 0u);
    if (zip_file_set_mtime(archive, index, entry.mtime, 0) != 0 ||
        zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX, attributes) != 0)
        throw ShellError("Cannot set the details of \"" + entry.name + "\": " + LibzipMessage(archive));
}

void AddFolderEntry(zip_t* archive, const PackEntry& entry) {
    zip_int64_t index = zip_name_locate(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    if (index < 0) index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    if (index < 0) throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    SetEntryDetails(archive, static_cast<zip_uint64_t>(index), entry);
}

// Adds `source` under the entry's name, replacing an entry of that name; takes over the source.
zip_uint64_t AddSource(zip_t* archive, const PackEntry& entry, zip_source_t* source) {
    if (!source) throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        throw ShellError("Cannot add \"" + entry.name + "\": " + LibzipMessage(archive));
    }
    return static_cast<zip_uint64_t>(index);
}

// A file libzip reads itself when the archive is closed, stored or deflated by libzip as asked.
void AddFileSource(zip_t* archive, const PackEntry& entry, zip_int32_t method, zip_uint32_t level) {
    const zip_uint64_t index = AddSource(archive, entry, zip_source_file(archive, entry.path.c_str(), 0, 0));
    if (zip_set_file_compression(archive, index, method, level) != 0)
        throw ShellError("Cannot set the compression of \"" + entry.name + "\": " + LibzipMessage(archive));
    SetEntryDetails(archive, index, entry);
}

void AddDeflatedSource(zip_t* archive, const PackEntry& entry, const DeflatedStore& store,
                       DeflatedStore::Location where, const DeflatedEntry& deflated) {
    auto* state = new DeflatedSource{&store, where, deflated.size, deflated.crc, entry.mtime, 0, {}};
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

void PackIntoZip(const std::string& archivePath, const std::vector<PackItem>& items, const PackOptions& options) {
    const std::vector<PackEntry> entries = ExpandPackItems(items, archivePath);

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
        if (entry.isDirectory) {
            AddFolderEntry(archive, entry);
        } else if (entry.size > options.inMemoryLimit) {
            AddFileSource(archive, entry, ZIP_CM_DEFLATE, static_cast<zip_uint32_t>(options.level));
        } else {
            const size_t index = next++;
            DeflatedEntry result = pipeline->Take(index);
            if (!result.error.empty()) throw ShellError("Cannot pack \"" + entry.name + "\": " + result.error);
            if (result.deflated) {
                const auto where = store.Put(std::move(result.data));
                AddDeflatedSource(archive, entry, store, where, result);
            } else {
                AddFileSource(archive, entry, ZIP_CM_STORE, 0);
            }
        }
    }
    pipeline.reset();

    // libzip writes the new archive beside the old one and renames it into place only now.
    if (zip_close(archive) != 0)
        throw ShellError("Cannot write the archive \"" + archivePath + "\": " + LibzipMessage(archive));
    handle.archive = nullptr;
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
