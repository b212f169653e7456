#pragma once
// How an upload's complete temporary file takes its final name on the server: replacing a file of
// that name, or, where the item says never to replace one, under the first name found free.
#include <string>
#include <unordered_set>

#include "platform/inet/Inet.h"
#include "webcopy/FtpCommon.h"
#include "webcopy/TransferRun.h"

namespace zandrel::webcopy {

// The names an upload that never replaces a file goes through: Demo.zip, then Demo_1.zip,
// Demo_2.zip, ...: the first one not seen taken, letter case counted.
class FreeNames {
public:
    explicit FreeNames(std::string name) : name_(std::move(name)) {}
    // Counts `taken` as taken and gives the first candidate not seen taken. Each call adds one
    // taken name, so the candidates never run out.
    std::string After(const std::string& taken);
    // The folder's listing has been read for hints (it is read at most once).
    bool listed = false;

private:
    std::string name_;
    std::unordered_set<std::string> taken_;
};

// The next name to try after `taken` was found taken. The first time in a search the current
// folder's listing is read and every name it shows counts as taken too: one listing instead of
// four commands for each of many earlier uploads. It is a hint only (a listing may leave names
// out), so the name returned is still checked.
std::string FtpNextName(TransferRun& run, inet::HINTERNET connection, FreeNames& names, const std::string& taken);

// Moves `name` on to the first name the server says is free. False (reported as error 3) when no
// free name can be found or the server cannot tell.
bool FtpFindFreeName(TransferRun& run, inet::HINTERNET connection, FreeNames& names, std::string& name,
                     const std::string& remotePath);

// How publishing the complete temporary file went: it holds the final name; another upload took
// the name from under it, so the file is gone and must go up again (only where files are never
// replaced); the server does not rename here (the temporary file is still there); or it failed
// otherwise (reason noted).
enum class FtpPublishOutcome { Published, Lost, RenameRefused, Failed };

// Renames the complete `storedName` to `finalName`: replacing a file of that name when `names` is
// null, else onto the first name found free (`finalName` then says which). `storedName` follows
// the file when it had to move to another temporary name.
FtpPublishOutcome FtpPublish(TransferRun& run, inet::HINTERNET connection, FreeNames* names, std::string& storedName,
                             std::string& finalName);

// Deletes what a failed or cancelled upload left as `folder`/`name`, closing `open` (its file
// handle, when still open) first: over `connection` whenever it still answers, else over a short
// second login.
void FtpRemovePartial(TransferRun& run, inet::HINTERNET connection, const FtpAccount& account,
                      const std::string& folder, const std::string& name, inet::HINTERNET open = nullptr);

} // namespace zandrel::webcopy
