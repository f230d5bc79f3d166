// The renderer: GLSL or fixed-function, PROGRAM_WALLPAPER and its helpers, the transform stack.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// True when the driver offers GLSL program objects.
extern bool g_hasShaders;
// The linked PROGRAM_WALLPAPER, 0 when there is none.
extern uint32_t g_wallpaperProgram;
// Tiles are filtered linearly while the picture is scaled; at one texel per pixel they
// are sampled nearest, which keeps every texel exact whatever the rounding of positions.
extern bool g_smoothWall;

// Puts the renderer's state back as before its first Reload; deletes the wallpaper program,
// so the GL context must be current.
void ResetRenderer();

// Readies the bound framebuffer for drawing the picture, for the frame and for the
// snapshot's bands alike: the grey background cleared, no depth test, blending or culling,
// and the identity transform. The viewport is the caller's.
void BeginPictureFrame();

// The two GLSL sources of PROGRAM_WALLPAPER, byte for byte.
extern const char kWallpaperVertexSource[];
extern const char kWallpaperFragmentSource[];

// 16 floats in column-major order: row i, column j is at index 4 * j + i.
struct Matrix4 {
    float m[16];
};

Matrix4 IdentityMatrix();
Matrix4 TranslationMatrix(float x, float y, float z);
Matrix4 ScalingMatrix(float x, float y, float z);
Matrix4 OrthoMatrix(float left, float right, float bottom, float top, float zNear, float zFar);
// a x b: b acts first on a column vector.
Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b);

// Last in, first out; a new stack holds one identity matrix.
class MatrixStack {
public:
    MatrixStack() : matrices_(1, IdentityMatrix()) {}

    bool Empty() const { return matrices_.empty(); }
    size_t Size() const { return matrices_.size(); }
    const Matrix4& Top() const { return matrices_.back(); }
    Matrix4& Top() { return matrices_.back(); }
    void Push(const Matrix4& matrix) { matrices_.push_back(matrix); }
    void Pop()
    {
        if (!matrices_.empty())
            matrices_.pop_back();
    }

private:
    std::vector<Matrix4> matrices_;
};

// The programmable path's model-view stack and projection.
extern std::unique_ptr<MatrixStack> g_modelViewStack;
extern Matrix4 g_projectionMatrix;

// Rebuilds the renderer: logs the driver information, decides g_hasShaders,
// makes a fresh transform stack and, with GLSL, rebuilds PROGRAM_WALLPAPER.
void InitRenderer();
// Compiles and links PROGRAM_WALLPAPER and leaves it current; its GL name.
uint32_t CreateWallpaperProgram();
void LogShaderInfoLog(uint32_t shader, int line);
void LogProgramInfoLog(uint32_t program);

// Each looks the name up in the program again; a missing name is logged and skipped.
void SetVertexAttribArray(uint32_t program, const char* name, int components, int stride,
                          const void* data);
void SetUniform1f(uint32_t program, const char* name, float value);
void SetUniformMatrix4(uint32_t program, const char* name, const Matrix4& matrix);
// Binds the uniform Sampler to texture unit 0.
void SetSamplerUniform(uint32_t program);

// Transform operations: on the programmable path they work on g_modelViewStack
// and g_projectionMatrix, otherwise on the GL's current matrix.
void LoadIdentity();
void PushMatrix();
void PopMatrix();
void MultMatrix(const Matrix4& matrix);
void Translate(float x, float y, float z);
void Scale(float x, float y, float z);
void Ortho(float left, float right, float bottom, float top, float zNear, float zFar);
// The top of the model-view stack; the identity when there is no stack or it is empty.
void GetModelViewMatrix(Matrix4* out);

// Model units to clip coordinates as the next draw takes them: the projection times the
// model-view matrix, on either path.
Matrix4 GetClipMatrix();

// The texture parameters of every wall tile: repeat, linear filtering; on the bound texture.
void SetTileTextureParameters();

// DrawTexturedQuad for many quads in a row under one transform: the shared state (program,
// uniforms, model-view matrix, enabled arrays) is set when the batch is made, the quads'
// vertices are given once, each Draw changes only the texture and its parameters, and
// Finish leaves the state as DrawTexturedQuad does.
class CTileBatch {
public:
    CTileBatch();
    // Points the vertex arrays at positions (3 floats a vertex) and coordinates (2 floats).
    void SetVertices(const float* positions, const float* textureCoordinates);
    // The quad of vertices firstVertex to firstVertex + 3 with the texture.
    void Draw(uint32_t texture, int firstVertex);
    void Finish();

private:
    int32_t vertexLocation_ = -1;
    int32_t textureCoordinateLocation_ = -1;
};

// Draws the 4-vertex triangle strip (3 floats per position, 2 per texture
// coordinate) with the texture, through PROGRAM_WALLPAPER or fixed-function.
void DrawTexturedQuad(uint32_t texture, const float* positions, const float* textureCoordinates);
