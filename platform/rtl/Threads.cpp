#include "platform/rtl/Threads.h"

#include <dirent.h>

namespace zandrel::rtl {

int CountProcessThreads() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return 0;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count;
}

} // namespace zandrel::rtl
