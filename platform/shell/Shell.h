#pragma once
// The desktop shell as the system uses it: the "Shell.Application" automation object (folders,
// ZIP folders and copying into them), moving folders to the trash, and opening files or folders
// with the desktop's default application.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zandrel::shell {

// Registers "Shell.Application" with the automation class table. Safe to call any number of
// times, from any thread. Every program that includes this header has it called at start-up (see
// below), and each function of this header calls it too, so CreateObject finds the class without
// anyone having to remember.
void RegisterShellApplication();

// A copy runs until it is done, or until the person asks to stop (Ctrl-C, the interrupt latch of
// the UI port): it then ends within a moment, leaving its target as it was.
//
// Copies started by CopyHere, and those that have finished (successfully or not). A copy counts as
// started before CopyHere returns, so a caller that reads CompletedCopies() before CopyHere and
// waits until it grows cannot miss the end of its copy.
uint64_t StartedCopies();
uint64_t CompletedCopies();
uint64_t CopiesInFlight();
// Waits until no copy is in flight; false when `timeout` passed first.
bool WaitForCopies(std::chrono::milliseconds timeout);
// Why the copy that finished last failed; empty when it succeeded.
std::string LastCopyError();

// How the copy that finished last went. A copy either fails as a whole (nothing is written, the
// target stays as it was), is stopped (the same), or is done, possibly without some items that
// could not be read, each named with the reason.
struct CopyProblem {
    std::string path;   // the item on disk
    std::string reason; // in the system's words
};
struct CopyReport {
    std::string error;   // the copy failed: why
    bool stopped = false; // stopped because the person asked (Ctrl-C): nothing was written
    std::vector<CopyProblem> leftOut;
};
CopyReport LastCopyReport();

// Moving a file or folder (with its content) to the user's trash, as the shell's delete with undo
// does. Nothing is ever deleted for good here: when no trash can take it, the caller decides.
enum class TrashOutcome {
    Trashed,      // it is in the trash now
    NotSupported, // no trash on that file system (tmpfs, or no trash folder can be made)
    Failed,       // anything else: missing, no permission, ...; see the message
};
struct TrashResult {
    TrashOutcome outcome = TrashOutcome::Failed;
    std::string message; // empty when trashed
};
TrashResult MoveToTrash(const std::string& path);

// Opening a file or folder (or a URL such as http://...) with the desktop's default application,
// as the shell's "open" verb does. Returns at once after launching; fails quickly, with a message,
// where no application is registered for it or no desktop is there to run one.
struct OpenResult {
    bool ok = false;
    std::string message; // empty on success
};
OpenResult OpenWithDesktop(const std::string& pathOrUrl);

namespace detail {
// Runs RegisterShellApplication during start-up of any program that includes this header.
inline const bool kShellApplicationRegistered = (RegisterShellApplication(), true);
} // namespace detail

} // namespace zandrel::shell
