// Log lines on standard output.
#include "foundation/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

#ifdef _WIN32
// The Windows C runtime writes "\r\n" for "\n" in text mode; the program's
// output is the same bytes on every system, and consoles take a bare "\n".
const bool s_binaryOutput =
    _setmode(_fileno(stdout), _O_BINARY) != -1 && _setmode(_fileno(stderr), _O_BINARY) != -1;
#endif

std::atomic<int> s_threshold{LOG_VERBOSE};

void WriteLine(int line, const char* sourceFile, const char* format, va_list args)
{
    std::printf("%s[%d]: ", sourceFile ? sourceFile : "", line);
    std::vprintf(format, args);
    std::putchar('\n');
#ifdef _WIN32
    // The Windows C runtime has no line buffering (_IOLBF buffers fully), so a
    // log read while the program runs would show nothing until it ends.
    std::fflush(stdout);
#endif
}

}  // namespace

void LogMessage(int line, const char* sourceFile, int level, const char* format, ...)
{
    if (level < s_threshold.load(std::memory_order_relaxed))
        return;
    va_list args;
    va_start(args, format);
    WriteLine(line, sourceFile, format, args);
    va_end(args);
}

void SetLogThreshold(int level)
{
    s_threshold.store(level, std::memory_order_relaxed);
}

int LogThreshold()
{
    return s_threshold.load(std::memory_order_relaxed);
}

void LogMessageAlways(int line, const char* sourceFile, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(line, sourceFile, format, args);
    va_end(args);
}
