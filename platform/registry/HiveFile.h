#pragma once
// The one file that holds the user hive, and the rules that keep it whole: every change is a
// read-modify-write under an advisory lock shared by all processes, the new text replaces the old
// file atomically, and a file that cannot be parsed is never written over.
#include <functional>
#include <string>

#include "platform/registry/Hive.h"

namespace zandrel::registry {

// $XDG_CONFIG_HOME/zandrel/user.reg, or ~/.config/zandrel/user.reg when XDG_CONFIG_HOME is unset,
// empty or not an absolute path (as the XDG rules ask).
std::string UserHivePath();

class HiveFile {
public:
    explicit HiveFile(std::string path);

    const std::string& path() const { return path_; }
    // Beside the store; the file whose flock serialises writers.
    std::string lockPath() const { return path_ + ".lock"; }

    // The hive as last saved; an empty hive when the file does not exist. Readers take no lock and
    // write nothing, so reading works in a folder that cannot be written: the file is only ever
    // replaced whole, so they see the old text or the new one. Warns on stderr, once per process,
    // when other users can open the file.
    Hive Load() const;

    // Lets `change` apply its edit to the hive as saved; when it reports no change, that is all.
    // Otherwise locks, re-reads the file, applies the edit again and writes the result to a
    // private temporary file in the same folder, flushes it to disk and renames it over the store.
    // Each writer applies only its own edit to what is on disk at that moment, so concurrent
    // writers of different values all survive. The folder is created (mode 0700) when missing;
    // the file is mode 0600. Throws FormatError for a damaged file, and WriteError when the change
    // cannot be saved, a read-only file included; the file is then left as it was.
    void Update(const std::function<bool(Hive&)>& change);

private:
    std::string path_;
};

} // namespace zandrel::registry
