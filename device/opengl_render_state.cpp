// zorOpenGL transforms, viewport, render state, the saved-state stack, stencil, depth,
// the Command operation and the device's GLSL program.
#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "device/device_state.h"
#include "device/glsl.h"
#include "device/graphics.h"
#include "device/primitives.h"
#include "device/protocol.h"
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

// A failed stage or link is logged with its info log, when the log holds any text.
void LogShaderInfoLog(GLuint shader)
{
    const std::string text = GlslShaderInfoLog(shader);
    if (!text.empty())
        LogMessage(__LINE__, kSource, LOG_ERROR, "GL_SHADER: %s", text.c_str());
}

void LogProgramInfoLog(GLuint program)
{
    const std::string text = GlslProgramInfoLog(program);
    if (!text.empty())
        LogMessage(__LINE__, kSource, LOG_ERROR, "GL_PROGRAM: %s", text.c_str());
}

GLuint CompileShader(GLenum type, const char* source)
{
    return CompileGlslShader(type, source, LogShaderInfoLog);
}

bool IsLinkedProgram(GLuint program)
{
    if (program == 0 || !glIsProgram(program))
        return false;
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked != GL_FALSE;
}

void BuildProgram(ShaderState& shader, const zorProgramSources* sources)
{
    shader.active = false;
    if (!HasGlsl() || !sources || !sources->vertex || !sources->fragment)
        return;
    const GLuint vertex = CompileShader(GL_VERTEX_SHADER, sources->vertex);
    const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, sources->fragment);
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
        LogProgramInfoLog(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    shader.active = true;
}

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

void SetUniform(const ShaderState& shader, const zorUniformData* uniform)
{
    if (!shader.active || !uniform || !IsLinkedProgram(shader.program))
        return;
    if (!uniform->name || !uniform->values || uniform->count < 0)
        return;
    const GLint location = glGetUniformLocation(shader.program, uniform->name);
    switch (uniform->type) {
    case UNIFORM_INT:
        glUniform1iv(location, uniform->count, static_cast<const GLint*>(uniform->values));
        break;
    case UNIFORM_FLOAT:
        glUniform1fv(location, uniform->count, static_cast<const GLfloat*>(uniform->values));
        break;
    case UNIFORM_MATRIX4:
        glUniformMatrix4fv(location, 1, GL_FALSE, static_cast<const GLfloat*>(uniform->values));
        break;
    default:
        break;
    }
}

void SetAttribute(const ShaderState& shader, const zorAttributeData* attribute)
{
    if (!shader.active || !attribute || !attribute->name || !attribute->positions ||
        !IsLinkedProgram(shader.program))
        return;
    const GLint location = glGetAttribLocation(shader.program, attribute->name);
    // A missing attribute has no array to enable.
    if (location < 0)
        return;
    glEnableVertexAttribArray(GLuint(location));
    glVertexAttribPointer(GLuint(location), 3, GL_FLOAT, GL_FALSE, 12, attribute->positions);
}

// The Command ops of the device program; each checks its own data.
void RunProgramOp(ShaderState& shader, int op, const void* data)
{
    switch (op) {
    case COMMAND_BUILD_PROGRAM:
        BuildProgram(shader, static_cast<const zorProgramSources*>(data));
        break;
    case COMMAND_DEACTIVATE_PROGRAM:
        shader.active = false;
        break;
    case COMMAND_USE_PROGRAM:
        UseProgram(shader, static_cast<const int*>(data));
        break;
    case COMMAND_SET_UNIFORM:
        SetUniform(shader, static_cast<const zorUniformData*>(data));
        break;
    case COMMAND_SET_ATTRIBUTE:
        SetAttribute(shader, static_cast<const zorAttributeData*>(data));
        break;
    default:
        break;
    }
}

// data = { left, right, bottom, top, near, far }.
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

// data = { w, h }: multiplies an ortho box w x h wide around the origin.
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
    case RENDER_BLEND:
        if (value >= BLEND_REPLACE && value <= BLEND_MULTIPLY)
            glBlendFunc(kBlend[value][0], kBlend[value][1]);
        break;
    case RENDER_FILTER:
        SetFilter(value);
        break;
    case RENDER_WRAP_S:
    case RENDER_WRAP_T:
        if (value == WRAP_REPEAT || value == WRAP_CLAMP)
            glTexParameteri(GL_TEXTURE_2D,
                            kind == RENDER_WRAP_S ? GL_TEXTURE_WRAP_S : GL_TEXTURE_WRAP_T,
                            value == WRAP_REPEAT ? GL_REPEAT : GL_CLAMP);
        break;
    case RENDER_CULL:
        if (value == CULL_NONE) {
            glDisable(GL_CULL_FACE);
        } else if (value == CULL_FRONT || value == CULL_BACK) {
            glEnable(GL_CULL_FACE);
            glCullFace(value == CULL_FRONT ? GL_FRONT : GL_BACK);
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
    if (flags & STATE_COLOR)
        glGetFloatv(GL_CURRENT_COLOR, saved.colour);
    if (flags & STATE_BLEND) {
        glGetIntegerv(GL_BLEND_SRC, &saved.blendSource);
        glGetIntegerv(GL_BLEND_DST, &saved.blendDestination);
    }
    if (flags & STATE_CULL) {
        glGetIntegerv(GL_CULL_FACE, &saved.cullEnabled);
        glGetIntegerv(GL_CULL_FACE_MODE, &saved.cullFaceMode);
    }
    if (flags & STATE_PROJECTION)
        glGetFloatv(GL_PROJECTION_MATRIX, saved.projection);
    if (flags & STATE_VIEWPORT)
        glGetIntegerv(GL_VIEWPORT, saved.viewport);
    if (flags & STATE_FILTER)
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
    if (flags & STATE_COLOR)
        glColor4f(saved.colour[0], saved.colour[1], saved.colour[2], saved.colour[3]);
    if (flags & STATE_BLEND)
        glBlendFunc(GLenum(saved.blendSource), GLenum(saved.blendDestination));
    if (flags & STATE_CULL) {
        glCullFace(GLenum(saved.cullFaceMode));
        if (saved.cullEnabled)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
    }
    if (flags & STATE_PROJECTION) {
        GLint mode = GL_MODELVIEW;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(saved.projection);
        glMatrixMode(GLenum(mode));
    }
    if (flags & STATE_VIEWPORT)
        glViewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
    if (flags & STATE_FILTER)
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
    const bool needsData = op == COMMAND_COLOR_MASK || op == COMMAND_FRUSTUM ||
                           op == COMMAND_VIEWPORT || op == COMMAND_MULTIPLY_ORTHO ||
                           op == COMMAND_CREATE_TARGET || op == COMMAND_SET_CLEAR_DEPTH ||
                           (op == COMMAND_TEXTURE_ENV && flag);
    if (needsData && !data)
        return 0;
    switch (op) {
    case COMMAND_COLOR_MASK:
        glColorMask(ints[0] != 0, ints[1] != 0, ints[2] != 0, ints[3] != 0);
        break;
    case COMMAND_TEXTURE_ENV:
        if (flag) {
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, floats);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
        } else {
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        }
        break;
    case COMMAND_FRUSTUM:
        SetFrustum(floats);
        break;
    case COMMAND_VIEWPORT:
        SetViewport(ints[0], ints[1], ints[2], ints[3]);
        break;
    case COMMAND_MULTIPLY_ORTHO:
        MultiplyOrtho(floats);
        break;
    case COMMAND_LOAD_IDENTITY:
        glLoadIdentity();
        break;
    case COMMAND_FORGET_TEXTURE:
        state.currentTexture = nullptr;
        break;
    case COMMAND_CREATE_TARGET:
        return CreateFramebufferTarget(ints[0], ints[1], ints[2]);
    case COMMAND_SET_CLEAR_DEPTH:
        glClearDepth(floats[0]);
        break;
    case COMMAND_WIREFRAME:
        glPolygonMode(GL_FRONT_AND_BACK, flag ? GL_LINE : GL_FILL);
        break;
    case COMMAND_BUILD_PROGRAM:
    case COMMAND_DEACTIVATE_PROGRAM:
    case COMMAND_USE_PROGRAM:
    case COMMAND_SET_UNIFORM:
    case COMMAND_SET_ATTRIBUTE:
        if (state.shaderState)
            RunProgramOp(*state.shaderState, op, data);
        break;
    case COMMAND_DRAW_INDEXED_TRIANGLE:
    case COMMAND_DRAW_INDEXED_TRIANGLE_AGAIN:
        DrawIndexedTestTriangle();
        break;
    case COMMAND_DRAW_BUFFER_TRIANGLE:
        DrawMemoryBufferTestTriangle();
        break;
    default:
        break;
    }
    return 0;
}
