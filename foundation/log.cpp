// Log lines, the OpenGL error check and the libjpeg message callbacks.
#include "foundation/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <GL/gl.h>

#include "foundation/jpeg_recovery.h"

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

void WriteLineAlways(int line, const char* sourceFile, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLine(line, sourceFile, format, args);
    va_end(args);
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

void CheckGlError(const char* sourceFile, int line)
{
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return;
    // The one line before the program ends is written even when the log is quiet.
    WriteLineAlways(line, sourceFile, "glGetError() returns: %d (0x%X)", int(error),
                    unsigned(error));
    std::fflush(stdout);
    // A GL error is a failure of the program: report it as one.
    std::exit(1);
}

void JpegOutputMessage(jpeg_common_struct* context)
{
    char buffer[JMSG_LENGTH_MAX];
    context->err->format_message(context, buffer);
    LogMessage(__LINE__, "", LOG_ERROR, "%s", buffer);
}

void JpegErrorExit(jpeg_common_struct* context)
{
    // Neither codec fills client_data, so the first line is a fixed marker.
    LogMessage(__LINE__, "", LOG_ERROR, "%s", "JPEG_ERROR");
    JpegOutputMessage(context);
    // NOTE: a fatal libjpeg error must not end the program (a corrupt file
    // dropped on the window); the codec that owns the state recovers.
    auto* manager = reinterpret_cast<JpegErrorManager*>(context->err);
    std::longjmp(manager->recovery, 1);
}

jpeg_error_mgr* InitJpegErrorManager(JpegErrorManager* manager)
{
    jpeg_error_mgr* standard = jpeg_std_error(&manager->standard);
    standard->error_exit = JpegErrorExit;
    standard->output_message = JpegOutputMessage;
    return standard;
}
