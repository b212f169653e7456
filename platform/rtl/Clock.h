#pragma once
#include <cstdint>

namespace zandrel::rtl {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the system tick count; rate and
// time-left arithmetic is written for that wrap.
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);

} // namespace zandrel::rtl
