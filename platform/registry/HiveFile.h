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

    // The hive as last saved; an empty hive when the file does not exist. Readers take no lock:
    // the file is only ever replaced whole, so they see the old text or the new one.
    Hive Load() const;

    // Locks, re-reads the file, lets `change` apply its edit and, when it reports a change, writes
    // the result to a private temporary file in the same folder, flushes it to disk and renames it
    // over the store. Each writer applies only its own edit to what is on disk at that moment, so
    // concurrent writers of different values all survive. The folder is created (mode 0700) when
    // missing; the file is mode 0600.
    void Update(const std::function<bool(Hive&)>& change);

private:
    std::string path_;
};

} // namespace zandrel::registry
