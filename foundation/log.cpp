// Log lines, the OpenGL error check and the libjpeg message callbacks.
#include "foundation/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <GL/gl.h>

#include "foundation/jpeg_recovery.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

namespace {
// The Windows C runtime writes "\r\n" for "\n" in text mode; the program's
// output is the same bytes on every system, and consoles take a bare "\n".
const bool s_binaryOutput =
    _setmode(_fileno(stdout), _O_BINARY) != -1 && _setmode(_fileno(stderr), _O_BINARY) != -1;
}  // namespace
#endif

void LogMessage(int line, const char* sourceFile, int level, const char* format, ...)
{
    (void)level;
    std::printf("%s[%d]: ", sourceFile ? sourceFile : "", line);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
#ifdef _WIN32
    // The Windows C runtime has no line buffering (_IOLBF buffers fully), so a
    // log read while the program runs would show nothing until it ends.
    std::fflush(stdout);
#endif
}

void CheckGlError(const char* sourceFile, int line)
{
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return;
    LogMessage(line, sourceFile, LOG_ERROR, "glGetError() returns: %d (0x%X)", int(error),
               unsigned(error));
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
