// The memory the system can still give, from /proc/meminfo or the Windows memory status.
#include "foundation/memory.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

int64_t AvailableMemoryBytes()
{
#ifdef _WIN32
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    return int64_t(status.ullAvailPhys);
#else
    // MemAvailable counts the caches the kernel can drop; free pages alone would say far less.
    if (std::FILE* info = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        long long kilobytes = -1;
        while (std::fgets(line, sizeof(line), info) != nullptr) {
            if (std::sscanf(line, "MemAvailable: %lld kB", &kilobytes) == 1)
                break;
        }
        std::fclose(info);
        if (kilobytes >= 0)
            return int64_t(kilobytes) * 1024;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages < 0 || pageSize <= 0)
        return -1;
    return int64_t(pages) * pageSize;
#endif
}
