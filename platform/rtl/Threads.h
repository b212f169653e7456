#pragma once

namespace zandrel::rtl {

// The number of threads that belong to this process, from the system's thread list; 0 when
// the list cannot be read.
int CountProcessThreads();

} // namespace zandrel::rtl
