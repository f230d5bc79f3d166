// The OpenGL error check.
#include "device/gl_error.h"

#include <cstdio>
#include <cstdlib>

#include <GL/glew.h>

#include "foundation/log.h"

void CheckGlError(const char* sourceFile, int line)
{
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return;
    // The one line before the program ends is written even when the log is quiet.
    LogMessageAlways(line, sourceFile, "glGetError() returns: %d (0x%X)", int(error),
                     unsigned(error));
    std::fflush(stdout);
    // A GL error is a failure of the program: report it as one.
    std::exit(1);
}
