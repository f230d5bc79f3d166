// zorGRAPHICS: the drawing device interface, and its OpenGL implementation zorOpenGL.
#pragma once

#include <vector>

#include "device/protocol.h"

// The window the device draws into, kept opaque so that callers never see GLFW.
struct GLFWwindow;
typedef GLFWwindow* WindowHandle;

// The device interface. The order of the operations is fixed; it has no
// virtual destructor, since a device is never deleted through it.
class zorGRAPHICS {
public:
    virtual int Initialize(WindowHandle window, int width, int height) = 0;
    virtual void BeginFrame() = 0;
    virtual void EndFrame() = 0;
    virtual void Shutdown() = 0;
    virtual int LogDriverInfo() = 0;
    // Numbered operations: op is a zorCommandOp, and data what device/protocol.h gives for it.
    virtual int Command(int op, int flag, void* data, int unused) = 0;
    virtual bool HasTexture(int index) = 0;
    virtual bool GetTextureInfo(int index, int* width, int* height, int* userWidth,
                                int* userHeight) = 0;
    virtual bool ReadTexture(int index, void* destination) = 0;
    virtual bool GetBoundTextureSize(int* width, int* height) = 0;
    // code is a zorValueCode (device/protocol.h).
    virtual bool GetValue(int code, const void* input, void* output) = 0;
    virtual int SetDisplayMode(int width, int height, int fullScreen) = 0;
    virtual void ResetState() = 0;
    virtual bool IsReady() = 0;
    virtual void DeleteTexture(int index, bool compact) = 0;
    virtual int CreateTexture(int index, int width, int height, const void* pixels, int unused,
                              int userWidth, int userHeight, int format) = 0;
    virtual void ReservedA(int a, int b, int c) = 0;
    // flags: zorStateBits or-ed together.
    virtual void PushState(int flags) = 0;
    virtual void PopState() = 0;
    virtual void ClearColor(float r, float g, float b, float a) = 0;
    virtual void SetColor(float r, float g, float b, float a) = 0;
    virtual void SaveMatrix() = 0;
    virtual void RestoreMatrix() = 0;
    virtual void ApplyRotation(float angle, float x, float y, float z) = 0;
    virtual void ApplyPlanarRotation(float c, float s) = 0;
    virtual void ApplyQuaternion(float x, float y, float z, float w) = 0;
    virtual void ApplyMatrix(const float* matrix) = 0;
    virtual void ApplyScale(float x, float y, float z) = 0;
    virtual void ApplyTranslation(float x, float y, float z) = 0;
    virtual void Set2D(int width, int height, const int* viewport) = 0;
    // kind is a zorRenderStateKind, value the kind's mode.
    virtual void SetRenderState(int kind, int value) = 0;
    virtual void DrawCircle(float x, float y, float radius, int segments) = 0;
    virtual void FillCircle(float x, float y, float radius, int segments) = 0;
    virtual void FillRect(float x1, float y1, float x2, float y2) = 0;
    virtual void FillTriangle(float x1, float y1, float x2, float y2, float x3, float y3) = 0;
    virtual void DrawLine(float x1, float y1, float x2, float y2) = 0;
    virtual void DrawRect(float x1, float y1, float x2, float y2) = 0;
    // sourceRect: { x0, y0, x1, y1 } in texels, null for the whole texture.
    virtual void DrawTexturedArc(int index, float radius1, float radius0, float startAngle,
                                 float endAngle, const int* sourceRect) = 0;
    virtual void BeginTextured(int index) = 0;
    virtual void EndTextured() = 0;
    virtual void DrawTexturedRect(float x1, float y1, float x2, float y2, float s1, float t1,
                                  float s2, float t2) = 0;
    virtual void DrawArrays(int kind, int count, const float* positions,
                            const float* textureCoordinates, const void* colours, int flags) = 0;
    virtual void DrawLetterbox(int width, int height, const int* rectangle) = 0;
    virtual void ReadPixels(void* destination, int size, int fromTarget) = 0;
    virtual void ClearStencil(int value) = 0;
    virtual void BeginStencilWrite(int reference) = 0;
    virtual void ReservedB(int a, int b, int c) = 0;
    virtual void EndStencilWrite() = 0;
    virtual void BeginStencilTest(int reference) = 0;
    virtual void EndStencilTest() = 0;
    virtual void ClearDepth(float depth) = 0;
    virtual void EnableDepthTest(bool enable) = 0;
    virtual void ReservedC() = 0;
    virtual void ReservedD() = 0;
    virtual void BindRenderTarget(int index) = 0;
    virtual void UnbindRenderTarget() = 0;

protected:
    ~zorGRAPHICS() = default;
};

// The OpenGL device. It has no data of its own: all device state is process-wide.
class zorOpenGL final : public zorGRAPHICS {
public:
    int Initialize(WindowHandle window, int width, int height) override;
    void BeginFrame() override;
    void EndFrame() override;
    void Shutdown() override;
    int LogDriverInfo() override;
    int Command(int op, int flag, void* data, int unused) override;
    bool HasTexture(int index) override;
    bool GetTextureInfo(int index, int* width, int* height, int* userWidth,
                        int* userHeight) override;
    bool ReadTexture(int index, void* destination) override;
    bool GetBoundTextureSize(int* width, int* height) override;
    bool GetValue(int code, const void* input, void* output) override;
    int SetDisplayMode(int width, int height, int fullScreen) override;
    void ResetState() override;
    bool IsReady() override;
    void DeleteTexture(int index, bool compact) override;
    int CreateTexture(int index, int width, int height, const void* pixels, int unused,
                      int userWidth, int userHeight, int format) override;
    void ReservedA(int a, int b, int c) override;
    void PushState(int flags) override;
    void PopState() override;
    void ClearColor(float r, float g, float b, float a) override;
    void SetColor(float r, float g, float b, float a) override;
    void SaveMatrix() override;
    void RestoreMatrix() override;
    void ApplyRotation(float angle, float x, float y, float z) override;
    void ApplyPlanarRotation(float c, float s) override;
    void ApplyQuaternion(float x, float y, float z, float w) override;
    void ApplyMatrix(const float* matrix) override;
    void ApplyScale(float x, float y, float z) override;
    void ApplyTranslation(float x, float y, float z) override;
    void Set2D(int width, int height, const int* viewport) override;
    void SetRenderState(int kind, int value) override;
    void DrawCircle(float x, float y, float radius, int segments) override;
    void FillCircle(float x, float y, float radius, int segments) override;
    void FillRect(float x1, float y1, float x2, float y2) override;
    void FillTriangle(float x1, float y1, float x2, float y2, float x3, float y3) override;
    void DrawLine(float x1, float y1, float x2, float y2) override;
    void DrawRect(float x1, float y1, float x2, float y2) override;
    void DrawTexturedArc(int index, float radius1, float radius0, float startAngle,
                         float endAngle, const int* sourceRect) override;
    void BeginTextured(int index) override;
    void EndTextured() override;
    void DrawTexturedRect(float x1, float y1, float x2, float y2, float s1, float t1, float s2,
                          float t2) override;
    void DrawArrays(int kind, int count, const float* positions, const float* textureCoordinates,
                    const void* colours, int flags) override;
    void DrawLetterbox(int width, int height, const int* rectangle) override;
    void ReadPixels(void* destination, int size, int fromTarget) override;
    void ClearStencil(int value) override;
    void BeginStencilWrite(int reference) override;
    void ReservedB(int a, int b, int c) override;
    void EndStencilWrite() override;
    void BeginStencilTest(int reference) override;
    void EndStencilTest() override;
    void ClearDepth(float depth) override;
    void EnableDepthTest(bool enable) override;
    void ReservedC() override;
    void ReservedD() override;
    void BindRenderTarget(int index) override;
    void UnbindRenderTarget() override;
};

// One display mode of a monitor, in pixels.
struct DisplayMode {
    int width;
    int height;
};

// Chooses the smallest mode (by area; the first of equal areas) that is at
// least minWidth x minHeight and, with matchAspect, has exactly the aspect
// aspectWidth : aspectHeight, or else the same orientation. Writes the outputs
// that are not null; false when no mode fits.
bool FindDisplayMode(const std::vector<DisplayMode>& modes, int minWidth, int minHeight,
                     bool matchAspect, int aspectWidth, int aspectHeight, int* width,
                     int* height);

// Logs one "GL_EXTENSIONS: %s" line per white-space separated name (names cut
// to 255 characters); a null text gives one line with no name.
void LogExtensionNames(const char* extensions);
