#pragma once
// The copy threads that CopyHere starts: each is a thread of this process that runs one copy and
// ends; once it has reported, it is joined at the next start, at unload or at exit. Callers learn
// that a copy finished from the counters (or from the process's thread count, which is back where
// it was once the thread has gone).
#include <functional>
#include <string>

#include "platform/shell/Shell.h"

namespace zandrel::shell {

// Counts the copy as started before it returns, then runs `work` on a new thread; what it returns
// becomes the last copy report. Whatever `work` raises is caught there and kept as the report's
// error (a CopyStopped as a stopped copy). Raises ShellError (and counts the copy as finished)
// when no thread can be made.
void StartCopyThread(std::function<CopyReport()> work);

} // namespace zandrel::shell
