#pragma once
// Small helpers shared by the shell tests: made-up file content, time stamps, waiting for a copy.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "platform/rtl/Threads.h"
#include "platform/shell/Shell.h"

namespace zandrel::shell::testing {

inline std::string RandomBytes(size_t size, uint64_t seed) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = generator();
        for (size_t j = 0; j < 8 && i + j < size; ++j) bytes[i + j] = static_cast<char>(v >> (8 * j));
    }
    return bytes;
}

inline std::string SourceText(size_t size, uint64_t seed) {
    static const char* const words[] = {"begin", "end;", "procedure", "TForm1.Button1Click", "(Sender: TObject);",
                                        "var", "i:", "Integer;", "if", "then", "ShowMessage('Hello');", "\n  "};
    std::mt19937_64 generator(seed);
    std::string text;
    while (text.size() < size) {
        text += words[generator() % (sizeof words / sizeof *words)];
        text += ' ';
    }
    text.resize(size);
    return text;
}

inline void SetModificationTime(const std::string& path, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Waits (at most `limit`) for the process to be back at `threads` threads or fewer: a count
// taken just after an earlier copy may still include that copy's thread on its way out.
inline bool ThreadCountReturnsTo(int threads, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (rtl::CountProcessThreads() > threads) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace zandrel::shell::testing
