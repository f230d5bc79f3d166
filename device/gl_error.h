// The OpenGL error check: a GL error is a failure of the program.
#pragma once

// Reads glGetError; on an error logs "glGetError() returns: %d (0x%X)" at
// ERROR level, whatever the threshold, and ends the process with status 1.
// Needs a current GL context.
void CheckGlError(const char* sourceFile, int line);
#define CHECK_GL_ERROR(sourceFile) CheckGlError((sourceFile), __LINE__)
