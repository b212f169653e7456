#pragma once
// The texts of the progress dialog's lines: byte counts, transfer rates and durations, written
// with the user's decimal separator (rtl::UserDecimalSeparator).
#include <cstdint>
#include <string>

namespace zandrel::webcopy {

// "999 bytes", "1.00 Kb", "1000.00 Kb", "1.50 Mb" (decimal thousands, two decimals). Sizes
// beyond 4 GiB stay in Mb ("5000.00 Mb").
std::string FileSizeFmt(uint64_t n);
// The same with " bytes/sec", " Kb/sec", " Mb/sec"; a negative rate counts as below 1000.
std::string FileSizeFmtSpeed(int64_t n);
// With done 0: ms as a duration; otherwise the time left, estimated from ms for done of total.
// "29 sec.", "2 minutes", "1h 30". Done beyond total (a server that sends more than it
// announced) gives the estimate of the wrapped 32-bit difference while both fit in 32 bits, as
// the progress figures always did, and "0 sec." beyond that.
std::string TimeFmt(uint32_t ms, uint64_t done, uint64_t total);

} // namespace zandrel::webcopy
