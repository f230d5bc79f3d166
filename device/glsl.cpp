// GLSL plumbing that the device and the scene share: compiling a stage and reading info logs.
#include "device/glsl.h"

#include <GL/glew.h>

#include <vector>

namespace {

// getLength and getLog are the shader or the program pair of GL queries.
std::string ReadInfoLog(GLuint object, PFNGLGETSHADERIVPROC getLength,
                        PFNGLGETSHADERINFOLOGPROC getLog)
{
    GLint length = 0;
    getLength(object, GL_INFO_LOG_LENGTH, &length);
    if (length < 2)
        return std::string();
    std::vector<char> text(static_cast<size_t>(length), '\0');
    getLog(object, length, nullptr, text.data());
    text.back() = '\0';
    return std::string(text.data());
}

}  // namespace

uint32_t CompileGlslShader(uint32_t type, const char* source,
                           const std::function<void(uint32_t shader)>& logFailure)
{
    const GLuint shader = glCreateShader(GLenum(type));
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_FALSE && logFailure)
        logFailure(shader);
    return shader;
}

std::string GlslShaderInfoLog(uint32_t shader)
{
    return ReadInfoLog(shader, glGetShaderiv, glGetShaderInfoLog);
}

std::string GlslProgramInfoLog(uint32_t program)
{
    return ReadInfoLog(program, glGetProgramiv, glGetProgramInfoLog);
}
