// zorOpenGL transforms, viewport, render state, the saved-state stack, stencil, depth,
// the Command operation and the device's GLSL program.
#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/primitives.h"
#include "device/textures.h"
#include "foundation/log.h"

namespace {

// The device's log lines carry an empty source name.
const char* const kSource = "";

// A viewport GL accepts: a negative size would only raise a GL error.
void SetViewport(int64_t x, int64_t y, int64_t width, int64_t height)
{
    if (width < 0 || height < 0 || width > INT32_MAX || height > INT32_MAX)
        return;
    glViewport(GLint(x), GLint(y), GLsizei(width), GLsizei(height));
}

bool HasGlsl()
{
    return glCreateShader != nullptr;
}

// Logs a shader's or program's info log when it holds more than the terminator.
void LogInfoLog(GLuint object, bool isProgram)
{
    GLint length = 0;
    if (isProgram)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return;
    std::vector<char> text(size_t(length), '\0');
    if (isProgram)
        glGetProgramInfoLog(object, length, nullptr, text.data());
    else
        glGetShaderInfoLog(object, length, nullptr, text.data());
    text.back() = '\0';
    LogMessage(__LINE__, kSource, LOG_ERROR, isProgram ? "GL_PROGRAM: %s" : "GL_SHADER: %s",
               text.data());
}

GLuint CompileShader(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_FALSE)
        LogInfoLog(shader, false);
    return shader;
}

bool IsLinkedProgram(GLuint program)
{
    if (program == 0 || !glIsProgram(program))
        return false;
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked != GL_FALSE;
}

// Op 12, data = { vertex source, fragment source }.
void BuildProgram(ShaderState& shader, const char* const* sources)
{
    shader.active = false;
    if (!HasGlsl() || !sources || !sources[0] || !sources[1])
        return;
    const GLuint vertex = CompileShader(GL_VERTEX_SHADER, sources[0]);
    const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, sources[1]);
    // The program built before is replaced, not kept: nothing else refers to it.
    if (shader.program != 0)
        glDeleteProgram(shader.program);
    const GLuint program = glCreateProgram();
    shader.program = program;
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    // Using a program that failed to link is a GL error: it is logged and left unused.
    if (IsLinkedProgram(program))
        glUseProgram(program);
    else
        LogInfoLog(program, true);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    shader.active = true;
}

// Op 15, data = { program name }.
void UseProgram(ShaderState& shader, const int* name)
{
    if (!HasGlsl() || !name)
        return;
    if (*name != 0) {
        shader.active = true;
        if (IsLinkedProgram(GLuint(*name)))
            glUseProgram(GLuint(*name));
    } else {
        shader.active = false;
        glUseProgram(0);
    }
}

// Op 16, data = { name, values, int* count, int* type }.
void SetUniform(const ShaderState& shader, void* const* fields)
{
    if (!shader.active || !fields || !IsLinkedProgram(shader.program))
        return;
    const char* name = static_cast<const char*>(fields[0]);
    const int* count = static_cast<const int*>(fields[2]);
    const int* type = static_cast<const int*>(fields[3]);
    if (!name || !fields[1] || !count || !type || *count < 0)
        return;
    const GLint location = glGetUniformLocation(shader.program, name);
    switch (*type) {
    case 5:
        glUniform1iv(location, *count, static_cast<const GLint*>(fields[1]));
        break;
    case 6:
        glUniform1fv(location, *count, static_cast<const GLfloat*>(fields[1]));
        break;
    case 7:
        glUniformMatrix4fv(location, 1, GL_FALSE, static_cast<const GLfloat*>(fields[1]));
        break;
    default:
        break;
    }
}

// Op 17, data = { name, positions of 3 floats per vertex }.
void SetAttribute(const ShaderState& shader, void* const* fields)
{
    if (!shader.active || !fields || !fields[0] || !fields[1] ||
        !IsLinkedProgram(shader.program))
        return;
    const GLint location =
        glGetAttribLocation(shader.program, static_cast<const char*>(fields[0]));
    // A missing attribute has no array to enable.
    if (location < 0)
        return;
    glEnableVertexAttribArray(GLuint(location));
    glVertexAttribPointer(GLuint(location), 3, GL_FLOAT, GL_FALSE, 12, fields[1]);
}

// Op 2, data = { left, right, bottom, top, near, far }.
void SetFrustum(const float* v)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // GL refuses these planes with an error and keeps the identity; so does the device, silently.
    const bool valid = v[4] > 0 && v[5] > 0 && v[0] != v[1] && v[2] != v[3] && v[4] != v[5];
    if (valid)
        glFrustum(v[0], v[1], v[2], v[3], v[4], v[5]);
    glMatrixMode(GL_MODELVIEW);
}

// Op 4, data = { w, h }: multiplies an ortho box w x h wide around the origin.
void MultiplyOrtho(const float* size)
{
    const double w = size[0], h = size[1];
    if (w == 0 || h == 0)
        return;
    glOrtho(-w / 2, w - w / 2, -h / 2, h - h / 2, -1000, 1000);
}

}  // namespace

void zorOpenGL::ClearColor(float r, float g, float b, float a)
{
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

void zorOpenGL::SetColor(float r, float g, float b, float a)
{
    glColor4f(r, g, b, a);
}

void zorOpenGL::SaveMatrix()
{
    glPushMatrix();
}

void zorOpenGL::RestoreMatrix()
{
    glPopMatrix();
}

void zorOpenGL::ApplyRotation(float angle, float x, float y, float z)
{
    glRotatef(angle, x, y, z);
}

void zorOpenGL::ApplyPlanarRotation(float c, float s)
{
    const float m[16] = {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glMultMatrixf(m);
}

void zorOpenGL::ApplyQuaternion(float x, float y, float z, float w)
{
    // The rotation of (-x, -y, -z, w), not normalised.
    const float m[16] = {
        1 - 2 * y * y - 2 * z * z, 2 * x * y - 2 * w * z,     2 * x * z + 2 * w * y,     0,
        2 * x * y + 2 * w * z,     1 - 2 * x * x - 2 * z * z, 2 * y * z - 2 * w * x,     0,
        2 * x * z - 2 * w * y,     2 * y * z + 2 * w * x,     1 - 2 * x * x - 2 * y * y, 0,
        0,                         0,                         0,                         1,
    };
    glMultMatrixf(m);
}

void zorOpenGL::ApplyMatrix(const float* matrix)
{
    if (matrix)
        glMultMatrixf(matrix);
}

void zorOpenGL::ApplyScale(float x, float y, float z)
{
    glScalef(x, y, z);
}

void zorOpenGL::ApplyTranslation(float x, float y, float z)
{
    glTranslatef(x, y, z);
}

void zorOpenGL::Set2D(int width, int height, const int* viewport)
{
    const DeviceState& state = g_deviceState;
    const int w = width > 0 ? width : state.width;
    const int h = height > 0 ? height : state.height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (viewport)
        SetViewport(viewport[0], viewport[1], int64_t(viewport[2]) - viewport[0],
                    int64_t(viewport[3]) - viewport[1]);
    else
        SetViewport(0, 0, state.width, state.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Halves that add up to exactly w and h; an empty view has no box to map.
    if (w > 0 && h > 0)
        glOrtho(-(w / 2), w - w / 2, -(h / 2), h - h / 2, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(1, -1, 1);
    glTranslatef(float(std::floor(-w * 0.5)), float(std::floor(-h * 0.5)), 0);
    glMatrixMode(GL_MODELVIEW);
}

void zorOpenGL::SetRenderState(int kind, int value)
{
    static const GLenum kBlend[6][2] = {
        {GL_ONE, GL_ZERO},
        {GL_SRC_ALPHA, GL_ONE},
        {GL_ONE_MINUS_DST_COLOR, GL_ZERO},
        {GL_ONE_MINUS_DST_COLOR, GL_ONE},
        {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {GL_ZERO, GL_SRC_COLOR},
    };
    switch (kind) {
    case 0:
        if (value >= 0 && value < 6)
            glBlendFunc(kBlend[value][0], kBlend[value][1]);
        break;
    case 1:
        SetFilter(value);
        break;
    case 2:
    case 3:
        if (value == 0 || value == 1)
            glTexParameteri(GL_TEXTURE_2D, kind == 2 ? GL_TEXTURE_WRAP_S : GL_TEXTURE_WRAP_T,
                            value == 0 ? GL_REPEAT : GL_CLAMP);
        break;
    case 5:
        if (value == 0) {
            glDisable(GL_CULL_FACE);
        } else if (value == 1 || value == 2) {
            glEnable(GL_CULL_FACE);
            glCullFace(value == 1 ? GL_FRONT : GL_BACK);
        }
        break;
    default:
        break;
    }
}

void zorOpenGL::PushState(int flags)
{
    DeviceState& state = g_deviceState;
    if (!state.stateStack)
        return;
    SavedState saved;
    saved.flags = flags;
    if (flags & 1)
        glGetFloatv(GL_CURRENT_COLOR, saved.colour);
    if (flags & 2) {
        glGetIntegerv(GL_BLEND_SRC, &saved.blendSource);
        glGetIntegerv(GL_BLEND_DST, &saved.blendDestination);
    }
    if (flags & 4) {
        glGetIntegerv(GL_CULL_FACE, &saved.cullEnabled);
        glGetIntegerv(GL_CULL_FACE_MODE, &saved.cullFaceMode);
    }
    if (flags & 8)
        glGetFloatv(GL_PROJECTION_MATRIX, saved.projection);
    if (flags & 16)
        glGetIntegerv(GL_VIEWPORT, saved.viewport);
    if (flags & 32)
        saved.filterMode = state.filterMode;
    state.stateStack->states.push_back(saved);
}

void zorOpenGL::PopState()
{
    DeviceState& state = g_deviceState;
    if (!state.stateStack || state.stateStack->states.empty())
        return;
    const SavedState saved = state.stateStack->states.back();
    state.stateStack->states.pop_back();
    const int flags = saved.flags;
    if (flags & 1)
        glColor4f(saved.colour[0], saved.colour[1], saved.colour[2], saved.colour[3]);
    if (flags & 2)
        glBlendFunc(GLenum(saved.blendSource), GLenum(saved.blendDestination));
    if (flags & 4) {
        glCullFace(GLenum(saved.cullFaceMode));
        if (saved.cullEnabled)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
    }
    if (flags & 8) {
        GLint mode = GL_MODELVIEW;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(saved.projection);
        glMatrixMode(GLenum(mode));
    }
    if (flags & 16)
        glViewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
    if (flags & 32)
        SetFilter(saved.filterMode);
}

void zorOpenGL::ClearStencil(int value)
{
    glClearStencil(value);
    glClear(GL_STENCIL_BUFFER_BIT);
}

void zorOpenGL::BeginStencilWrite(int reference)
{
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_STENCIL_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    glStencilFunc(GL_ALWAYS, reference, ~0u);
    glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
}

void zorOpenGL::EndStencilWrite()
{
    glDisable(GL_STENCIL_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
}

void zorOpenGL::BeginStencilTest(int reference)
{
    glEnable(GL_STENCIL_TEST);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glStencilFunc(GL_EQUAL, reference, ~0u);
}

void zorOpenGL::EndStencilTest()
{
    glDisable(GL_STENCIL_TEST);
}

void zorOpenGL::ClearDepth(float depth)
{
    glClearDepth(depth);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void zorOpenGL::EnableDepthTest(bool enable)
{
    if (enable)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

int zorOpenGL::Command(int op, int flag, void* data, int)
{
    DeviceState& state = g_deviceState;
    const int* ints = static_cast<const int*>(data);
    const float* floats = static_cast<const float*>(data);
    // Ops that read their data do nothing without it; the GLSL ops check theirs themselves.
    const bool needsData =
        op == 0 || op == 2 || op == 3 || op == 4 || op == 7 || op == 8 || (op == 1 && flag);
    if (needsData && !data)
        return 0;
    switch (op) {
    case 0:
        glColorMask(ints[0] != 0, ints[1] != 0, ints[2] != 0, ints[3] != 0);
        break;
    case 1:
        if (flag) {
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, floats);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
        } else {
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        }
        break;
    case 2:
        SetFrustum(floats);
        break;
    case 3:
        SetViewport(ints[0], ints[1], ints[2], ints[3]);
        break;
    case 4:
        MultiplyOrtho(floats);
        break;
    case 5:
        glLoadIdentity();
        break;
    case 6:
        state.currentTexture = nullptr;
        break;
    case 7:
        return CreateFramebufferTarget(ints[0], ints[1], ints[2]);
    case 8:
        glClearDepth(floats[0]);
        break;
    case 10:
        glPolygonMode(GL_FRONT_AND_BACK, flag ? GL_LINE : GL_FILL);
        break;
    case 12:
        if (state.shaderState)
            BuildProgram(*state.shaderState, static_cast<const char* const*>(data));
        break;
    case 13:
        if (state.shaderState)
            state.shaderState->active = false;
        break;
    case 15:
        if (state.shaderState)
            UseProgram(*state.shaderState, ints);
        break;
    case 16:
        if (state.shaderState)
            SetUniform(*state.shaderState, static_cast<void* const*>(data));
        break;
    case 17:
        if (state.shaderState)
            SetAttribute(*state.shaderState, static_cast<void* const*>(data));
        break;
    case 19:
    case 20:
        DrawIndexedTestTriangle();
        break;
    case 21:
        DrawMemoryBufferTestTriangle();
        break;
    default:
        break;
    }
    return 0;
}
