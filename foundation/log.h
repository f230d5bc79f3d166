// Log lines on standard output, the OpenGL error check and libjpeg's message callbacks.
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

// Reads glGetError; on an error logs "glGetError() returns: %d (0x%X)" at
// ERROR level, whatever the threshold, and ends the process with status 1.
// Needs a current GL context.
void CheckGlError(const char* sourceFile, int line);
#define CHECK_GL_ERROR(sourceFile) CheckGlError((sourceFile), __LINE__)

// libjpeg callbacks. JpegErrorExit logs the library's message and then jumps
// back to the recovery point of the reader or writer that owns the library
// state (see jpeg_recovery.h); it never returns to libjpeg.
struct jpeg_common_struct;
void JpegOutputMessage(jpeg_common_struct* context);
void JpegErrorExit(jpeg_common_struct* context);
