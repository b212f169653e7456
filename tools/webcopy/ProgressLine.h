#pragma once
// The figures webcopy prints itself, and its one-line progress display.
//
// Sizes and rates are in binary units throughout (B, KiB, MiB, GiB, TiB; 1 KiB = 1024 bytes),
// with one decimal and a point whatever the locale: the same figure reads the same in the
// progress line, the line that ends an item, and in a log read on another machine.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zandrel::tools {

// 512 -> "512 B", 1536 -> "1.5 KiB", 5'000'000'000 -> "4.7 GiB".
std::string Bytes(uint64_t n);
// Bytes per second -> "1.5 MiB/s".
std::string Rate(double bytesPerSecond);
// A span of time as it is waited for: "0:07", "12:34", "1:02:03".
std::string Clock(double seconds);
// A span of time as it was taken: "0.4 s", "12.3 s", then as Clock ("2:05").
std::string Took(double seconds);

struct ProgressFigures {
    std::string name;             // what is being moved, as it may be shown
    int item = 0, items = 0;      // "2/5", shown when there is more than one item
    uint64_t done = 0, total = 0; // total 0: not known
    double bytesPerSecond = -1;   // below 0: not known yet
};

// The progress line in `width` columns at most (0: no limit): the name, done of total, percent,
// rate and time left. The name is shortened in the middle, so that its start and its extension
// stay; when even a shortened name leaves too little room (24 columns beside the item counter,
// 16 without), the least needed figures go first: the item counter, the rate, the sizes, the
// time left. The percent goes last. Room is measured on each figure's usual widest form, so that
// neither the name nor the set of figures changes as the digits do. With no figures at
// all (nothing moved yet) the line is the counter and the name.
std::string ProgressLine(const ProgressFigures& figures, size_t width);

} // namespace zandrel::tools
