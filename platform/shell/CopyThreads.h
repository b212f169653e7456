#pragma once
// The copy threads that CopyHere starts: each is a thread of this process that runs one copy and
// ends. Callers learn that a copy finished from the counters (or from the process's thread count,
// which is back where it was once the thread has gone).
#include <functional>
#include <string>

namespace zandrel::shell {

// Counts the copy as started before it returns, then runs `work` on a new thread. Whatever `work`
// raises is caught there and kept as the last copy error. Raises ShellError (and counts the copy
// as finished) when no thread can be made.
void StartCopyThread(std::function<void()> work);

} // namespace zandrel::shell
