// Log lines on standard output.
#pragma once

enum LogLevel {
    LOG_VERBOSE = 0,
    LOG_DEBUG = 1,
    LOG_INFO = 2,
    LOG_WARNING = 3,
    LOG_ERROR = 4,
    LOG_ASSERT = 5,
    LOG_NONE = 6,  // as a threshold: no line at all
};

#if defined(__GNUC__) || defined(__clang__)
#define OX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define OX_PRINTF_FORMAT(fmt, args)
#endif

// Writes "<sourceFile>[<line>]: <message>\n" to standard output when the level
// is at least the threshold. The level itself is not written.
void LogMessage(int line, const char* sourceFile, int level, const char* format, ...)
    OX_PRINTF_FORMAT(4, 5);

// Lines below `level` are dropped from now on; LOG_NONE drops every line. The
// threshold starts at LOG_VERBOSE: every line is written.
void SetLogThreshold(int level);
int LogThreshold();

// The same line written whatever the threshold: the one line before the program ends.
void LogMessageAlways(int line, const char* sourceFile, const char* format, ...)
    OX_PRINTF_FORMAT(3, 4);
