#pragma once
// The texts of the progress dialog's lines: byte counts, transfer rates and durations.
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

// The decimal separator the formatting uses: the user's, taken from the locale that the
// environment names (LC_ALL, else LC_NUMERIC, else LANG), looked up once. The process's own C
// locale is not consulted: the host may never call setlocale, and a toolkit that does must not
// change what these texts look like halfway through a run. "." when no locale is named or the
// named one is not installed.
const std::string& UserDecimalSeparator();
// The decimal separator of one named locale; "." when it is not installed.
std::string DecimalSeparatorOfLocale(const std::string& localeName);

} // namespace zandrel::webcopy
