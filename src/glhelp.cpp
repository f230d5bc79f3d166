// The renderer: path choice, PROGRAM_WALLPAPER and its helpers, the transform stack, quad drawing.
#include "src/glhelp.h"

#include <GL/glew.h>

#include <string>

#include "device/glsl.h"
#include "device/gl_error.h"
#include "foundation/log.h"
#include "src/globals.h"

bool g_hasShaders = false;
uint32_t g_wallpaperProgram = 0;
bool g_smoothWall = false;
std::unique_ptr<MatrixStack> g_modelViewStack;
Matrix4 g_projectionMatrix = {};

// PROGRAM_WALLPAPER's sources are part of the program's interface: they are kept byte for
// byte, blanks before some line feeds included, and tests check their exact length.
const char kWallpaperVertexSource[] =
    "#version\t120\n"
    "\n"
    "attribute\tvec4\tVertex;\n"
    "attribute\tvec2\tTexCoord;\n"
    "uniform\tmat4\tModelViewMatrix, ProjMatrix;\n"
    "varying\tvec2\t_TexCoord;\n"
    "\n"
    "void main(){ \n"
    "\tgl_Position = ProjMatrix * ModelViewMatrix * Vertex; \n"
    "\t_TexCoord = TexCoord;\n"
    "}\n";

const char kWallpaperFragmentSource[] =
    "#version\t120\n"
    "\n"
    "uniform\tfloat\t\tR, G, B, Power;\n"
    "uniform\tsampler2D\tSampler;\n"
    "varying\tvec2\t\t_TexCoord;\n"
    "\n"
    "void main(){\n"
    "\tvec4 col = texture2D(Sampler, _TexCoord); \n"
    "\tgl_FragColor = col + pow(1.0 / (R*col.r*col.r + G*col.g*col.g + B*col.b*col.b + 1.0), "
    "Power); \n"
    "}\n";

namespace {

const char* const kSource = "src/glhelp";
const char* const kProgramName = "PROGRAM_WALLPAPER";

// Compiles one stage; a failed compile is logged with the caller's line and the build goes on.
GLuint CompileShader(GLenum type, const char* source, int line)
{
    return CompileGlslShader(type, source,
                             [line](uint32_t shader) { LogShaderInfoLog(shader, line); });
}

// Looks the uniform up and, when the program has it, sets it with set(location) and checks
// for a GL error; a missing uniform is logged and skipped.
template <typename Set>
void SetUniform(GLuint program, const char* name, Set set)
{
    const GLint location = glGetUniformLocation(program, name);
    if (location == -1) {
        LogMessage(__LINE__, kSource, LOG_ERROR,
                   "glGetUniformLocation: '%s' is not found, or removed by compiler", name);
        return;
    }
    set(location);
    CHECK_GL_ERROR(kSource);
}

}  // namespace

void ResetRenderer()
{
    if (g_wallpaperProgram != 0 && glIsProgram && glIsProgram(g_wallpaperProgram)) {
        glUseProgram(0);
        glDeleteProgram(g_wallpaperProgram);
    }
    g_wallpaperProgram = 0;
    g_hasShaders = false;
    g_modelViewStack.reset();
    g_projectionMatrix = {};
    g_smoothWall = false;
}

void BeginPictureFrame()
{
    glClearColor(0.3f, 0.3f, 0.3f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    if (g_hasShaders)
        LoadIdentity();
    else
        glLoadIdentity();
}

// ---- the program ----

void InitRenderer()
{
    {
        LockGuard deviceLock(g_deviceLock);
        if (g_device)
            g_device->LogDriverInfo();
    }
    g_hasShaders = glCreateProgram != nullptr;
    g_modelViewStack = std::make_unique<MatrixStack>();
    if (g_hasShaders) {
        if (glIsProgram(g_wallpaperProgram))
            glDeleteProgram(g_wallpaperProgram);
        g_wallpaperProgram = CreateWallpaperProgram();
    } else {
        g_wallpaperProgram = 0;
    }
}

uint32_t CreateWallpaperProgram()
{
    CHECK_GL_ERROR(kSource);
    const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, kWallpaperVertexSource, __LINE__);
    CHECK_GL_ERROR(kSource);
    const GLuint fragmentShader =
        CompileShader(GL_FRAGMENT_SHADER, kWallpaperFragmentSource, __LINE__);
    CHECK_GL_ERROR(kSource);

    const GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    glUseProgram(program);
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_FALSE)
        LogProgramInfoLog(program);
    CHECK_GL_ERROR(kSource);

    // The shaders stay attached to the program until it is deleted.
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return program;
}

void LogShaderInfoLog(uint32_t shader, int line)
{
    const std::string text = GlslShaderInfoLog(shader);
    if (!text.empty())
        LogMessage(line, kSource, LOG_ERROR, "glGetShaderInfoLog in '%s': %s", kProgramName,
                   text.c_str());
}

void LogProgramInfoLog(uint32_t program)
{
    const std::string text = GlslProgramInfoLog(program);
    if (!text.empty())
        LogMessage(__LINE__, kSource, LOG_ERROR, "glGetProgramInfoLog in '%s': %s",
                   kProgramName, text.c_str());
}

// ---- attributes and uniforms, looked up by name at every use ----

void SetVertexAttribArray(uint32_t program, const char* name, int components, int stride,
                          const void* data)
{
    const GLint location = glGetAttribLocation(program, name);
    if (location == -1) {
        LogMessage(__LINE__, kSource, LOG_ERROR,
                   "glGetAttribLocation: '%s' is not found, or removed by compiler", name);
        return;
    }
    glEnableVertexAttribArray(static_cast<GLuint>(location));
    glVertexAttribPointer(static_cast<GLuint>(location), components, GL_FLOAT, GL_FALSE, stride,
                          data);
    CHECK_GL_ERROR(kSource);
}

void SetUniform1f(uint32_t program, const char* name, float value)
{
    SetUniform(program, name, [value](GLint location) { glUniform1f(location, value); });
}

void SetUniformMatrix4(uint32_t program, const char* name, const Matrix4& matrix)
{
    SetUniform(program, name, [&matrix](GLint location) {
        glUniformMatrix4fv(location, 1, GL_FALSE, matrix.m);
    });
}

void SetSamplerUniform(uint32_t program)
{
    SetUniform(program, "Sampler", [](GLint location) { glUniform1i(location, 0); });
}

// ---- matrices ----

Matrix4 IdentityMatrix()
{
    Matrix4 matrix = {};
    matrix.m[0] = matrix.m[5] = matrix.m[10] = matrix.m[15] = 1.0f;
    return matrix;
}

Matrix4 TranslationMatrix(float x, float y, float z)
{
    Matrix4 matrix = IdentityMatrix();
    matrix.m[12] = x;
    matrix.m[13] = y;
    matrix.m[14] = z;
    return matrix;
}

Matrix4 ScalingMatrix(float x, float y, float z)
{
    Matrix4 matrix = {};
    matrix.m[0] = x;
    matrix.m[5] = y;
    matrix.m[10] = z;
    matrix.m[15] = 1.0f;
    return matrix;
}

Matrix4 OrthoMatrix(float left, float right, float bottom, float top, float zNear, float zFar)
{
    Matrix4 matrix = {};
    matrix.m[0] = 2.0f / (right - left);
    matrix.m[5] = 2.0f / (top - bottom);
    matrix.m[10] = -2.0f / (zFar - zNear);
    matrix.m[12] = -(right + left) / (right - left);
    matrix.m[13] = -(top + bottom) / (top - bottom);
    matrix.m[14] = -(zFar + zNear) / (zFar - zNear);
    matrix.m[15] = 1.0f;
    return matrix;
}

Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b)
{
    Matrix4 c = {};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            c.m[4 * j + i] = a.m[i] * b.m[4 * j] + a.m[4 + i] * b.m[4 * j + 1] +
                             a.m[8 + i] * b.m[4 * j + 2] + a.m[12 + i] * b.m[4 * j + 3];
        }
    }
    return c;
}

// ---- the transform stack ----

void LoadIdentity()
{
    if (!g_hasShaders) {
        glLoadIdentity();
        return;
    }
    if (!g_modelViewStack)
        return;
    g_modelViewStack->Pop();
    g_modelViewStack->Push(IdentityMatrix());
}

void PushMatrix()
{
    if (!g_hasShaders) {
        glPushMatrix();
        return;
    }
    if (!g_modelViewStack)
        return;
    const Matrix4 top = g_modelViewStack->Empty() ? IdentityMatrix() : g_modelViewStack->Top();
    g_modelViewStack->Push(top);
}

void PopMatrix()
{
    if (!g_hasShaders) {
        glPopMatrix();
        return;
    }
    if (g_modelViewStack)
        g_modelViewStack->Pop();
}

void MultMatrix(const Matrix4& matrix)
{
    if (!g_modelViewStack || g_modelViewStack->Empty())
        return;
    Matrix4& top = g_modelViewStack->Top();
    top = MultiplyMatrices(top, matrix);
}

void Translate(float x, float y, float z)
{
    if (g_hasShaders)
        MultMatrix(TranslationMatrix(x, y, z));
    else
        glTranslatef(x, y, z);
}

void Scale(float x, float y, float z)
{
    if (g_hasShaders)
        MultMatrix(ScalingMatrix(x, y, z));
    else
        glScalef(x, y, z);
}

void Ortho(float left, float right, float bottom, float top, float zNear, float zFar)
{
    if (g_hasShaders)
        g_projectionMatrix = OrthoMatrix(left, right, bottom, top, zNear, zFar);
    else
        glOrtho(left, right, bottom, top, zNear, zFar);
}

void GetModelViewMatrix(Matrix4* out)
{
    if (!out)
        return;
    *out = g_modelViewStack && !g_modelViewStack->Empty() ? g_modelViewStack->Top()
                                                          : IdentityMatrix();
}

Matrix4 GetClipMatrix()
{
    if (g_hasShaders) {
        Matrix4 modelView;
        GetModelViewMatrix(&modelView);
        return MultiplyMatrices(g_projectionMatrix, modelView);
    }
    Matrix4 projection = IdentityMatrix();
    Matrix4 modelView = IdentityMatrix();
    glGetFloatv(GL_PROJECTION_MATRIX, projection.m);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.m);
    return MultiplyMatrices(projection, modelView);
}

// ---- one textured quad ----

void SetTileTextureParameters()
{
    // Clamped: a scaled-down tile filtered at its edge must not take texels of its far side.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const GLint filter = g_smoothWall ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
}

namespace {

void DrawQuadThroughProgram(GLuint texture, const float* positions,
                            const float* textureCoordinates)
{
    const GLuint program = g_wallpaperProgram;
    glUseProgram(program);
    CHECK_GL_ERROR(kSource);
    SetVertexAttribArray(program, "Vertex", 3, 12, positions);
    SetUniform1f(program, "Power", g_power);
    SetUniform1f(program, "R", g_weightR);
    SetUniform1f(program, "G", g_weightG);
    SetUniform1f(program, "B", g_weightB);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    SetTileTextureParameters();
    CHECK_GL_ERROR(kSource);
    SetVertexAttribArray(program, "TexCoord", 2, 8, textureCoordinates);
    SetSamplerUniform(program);
    Matrix4 modelView;
    GetModelViewMatrix(&modelView);
    SetUniformMatrix4(program, "ModelViewMatrix", modelView);
    SetUniformMatrix4(program, "ProjMatrix", g_projectionMatrix);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    CHECK_GL_ERROR(kSource);
    glUseProgram(0);
}

void DrawQuadFixedFunction(GLuint texture, const float* positions,
                           const float* textureCoordinates)
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    SetTileTextureParameters();
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, textureCoordinates);
    glVertexPointer(3, GL_FLOAT, 0, positions);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    CHECK_GL_ERROR(kSource);
}

}  // namespace

void DrawTexturedQuad(uint32_t texture, const float* positions, const float* textureCoordinates)
{
    if (g_hasShaders)
        DrawQuadThroughProgram(texture, positions, textureCoordinates);
    else
        DrawQuadFixedFunction(texture, positions, textureCoordinates);
}

// ---- many textured quads with the same vertices ----

CTileBatch::CTileBatch()
{
    if (g_hasShaders) {
        const GLuint program = g_wallpaperProgram;
        glUseProgram(program);
        // Enabled here (a missing name logged once), pointed at each tile's arrays in Draw.
        SetVertexAttribArray(program, "Vertex", 3, 12, nullptr);
        SetVertexAttribArray(program, "TexCoord", 2, 8, nullptr);
        vertexLocation_ = glGetAttribLocation(program, "Vertex");
        textureCoordinateLocation_ = glGetAttribLocation(program, "TexCoord");
        SetUniform1f(program, "Power", g_power);
        SetUniform1f(program, "R", g_weightR);
        SetUniform1f(program, "G", g_weightG);
        SetUniform1f(program, "B", g_weightB);
        glActiveTexture(GL_TEXTURE0);
        SetSamplerUniform(program);
        Matrix4 modelView;
        GetModelViewMatrix(&modelView);
        SetUniformMatrix4(program, "ModelViewMatrix", modelView);
        SetUniformMatrix4(program, "ProjMatrix", g_projectionMatrix);
    } else {
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
    }
    CHECK_GL_ERROR(kSource);
}

void CTileBatch::SetVertices(const float* positions, const float* textureCoordinates)
{
    if (g_hasShaders) {
        if (vertexLocation_ != -1)
            glVertexAttribPointer(GLuint(vertexLocation_), 3, GL_FLOAT, GL_FALSE, 12, positions);
        if (textureCoordinateLocation_ != -1) {
            glVertexAttribPointer(GLuint(textureCoordinateLocation_), 2, GL_FLOAT, GL_FALSE, 8,
                                  textureCoordinates);
        }
    } else {
        glTexCoordPointer(2, GL_FLOAT, 0, textureCoordinates);
        glVertexPointer(3, GL_FLOAT, 0, positions);
    }
}

void CTileBatch::Draw(uint32_t texture, int firstVertex)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    // The filter follows g_smoothWall, which may have changed since the tile was made;
    // setting a parameter to the value it has costs the driver next to nothing.
    SetTileTextureParameters();
    glDrawArrays(GL_TRIANGLE_STRIP, firstVertex, 4);
}

void CTileBatch::Finish()
{
    if (g_hasShaders) {
        glUseProgram(0);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
    }
    CHECK_GL_ERROR(kSource);
}
