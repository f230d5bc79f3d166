// zorOpenGL primitive drawing: flat shapes, textured rectangles and arcs, caller arrays,
// letterbox bands, memory buffers and the test triangles.
#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/primitives.h"
#include "device/textures.h"

namespace {

// Slightly below 2 pi, and the arc step slightly below pi / 18: the counts depend on both.
const float kTurn = 6.283184f;
const float kArcStep = 0.17453289f;
const int kMinimumSegments = 8;
// More rim points than any drawable can show; keeps hostile radii and counts bounded.
const int kMaximumSegments = 1 << 20;

const int kFirstMemoryBuffer = 1000;

// Reusable vertex arrays, kept for the whole process so that drawing rarely allocates.
std::vector<float> g_circlePoints;
std::vector<float> g_discPoints;
std::vector<float> g_arcPositions;
std::vector<float> g_arcCoordinates;
// The textured rectangle's arrays stay enabled until EndTextured, so they must outlive the call.
float g_rectPositions[8];
float g_rectCoordinates[8];

// A float count made whole: at least the minimum (also for NaN), at most the maximum.
int BoundedCount(float count)
{
    if (!(count >= float(kMinimumSegments)))
        return kMinimumSegments;
    if (count >= float(kMaximumSegments))
        return kMaximumSegments;
    return int(count);
}

void DrawFlat(GLenum mode, const float* vertices, int count)
{
    UnbindTexture();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glDrawArrays(mode, 0, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawCirclePoints(GLenum mode, std::vector<float>& points, float x, float y, float radius,
                      int segments)
{
    const int n = MakeCirclePoints(x, y, radius, segments, points);
    DrawFlat(mode, points.data(), n);
}

}  // namespace

int CirclePointCount(float radius, int segments)
{
    if (segments >= 3)
        return segments < kMaximumSegments ? segments : kMaximumSegments;
    // One segment per 12 units of circumference.
    return BoundedCount(radius * kTurn / 12.0f);
}

int ArcSegmentCount(float startAngle, float endAngle)
{
    const float quotient = std::fabs(startAngle - endAngle) / kArcStep;
    return BoundedCount(std::ceil(quotient));
}

int MakeCirclePoints(float x, float y, float radius, int segments, std::vector<float>& points)
{
    const int n = CirclePointCount(radius, segments);
    if (points.size() < size_t(n) * 2)
        points.resize(size_t(n) * 2);
    for (int i = 0; i < n; ++i) {
        const float theta = float(double(i) * double(kTurn) / n);
        points[size_t(i) * 2] = x + radius * std::cos(theta);
        points[size_t(i) * 2 + 1] = y + radius * std::sin(theta);
    }
    return n;
}

int MakeArcVertices(float textureWidth, float textureHeight, float radius1, float radius0,
                    float startAngle, float endAngle, const int* sourceRect,
                    std::vector<float>& positions, std::vector<float>& coordinates)
{
    float x0 = 0, y0 = 0, x1 = textureWidth, y1 = textureHeight;
    if (sourceRect) {
        x0 = float(sourceRect[0]);
        y0 = float(sourceRect[1]);
        x1 = float(sourceRect[2]);
        y1 = float(sourceRect[3]);
    }
    // A texture without texels has no coordinates to speak of: they stay 0.
    const float toT = textureHeight > 0 ? 1.0f / textureHeight : 0.0f;
    const int n = ArcSegmentCount(startAngle, endAngle);
    const size_t floats = size_t(n) * 4 + 4;
    if (positions.size() < floats)
        positions.resize(floats);
    if (coordinates.size() < floats)
        coordinates.resize(floats);
    for (int i = 0; i <= n; ++i) {
        const float f = float(i) / float(n);
        const float theta = startAngle + (endAngle - startAngle) * f;
        const float s = textureWidth > 0 ? (x0 + (x1 - x0) * f) / textureWidth : 0.0f;
        const float c = std::cos(theta), sn = std::sin(theta);
        float* inner = positions.data() + size_t(i) * 4;
        float* innerCoordinate = coordinates.data() + size_t(i) * 4;
        inner[0] = radius0 * c;
        inner[1] = radius0 * sn;
        inner[2] = radius1 * c;
        inner[3] = radius1 * sn;
        innerCoordinate[0] = s;
        innerCoordinate[1] = y0 * toT;
        innerCoordinate[2] = s;
        innerCoordinate[3] = y1 * toT;
    }
    return n;
}

int CreateMemoryBuffer(int size)
{
    std::vector<std::vector<uint8_t>>& buffers = g_deviceState.memoryBuffers;
    buffers.emplace_back(size_t(size > 0 ? size : 0), uint8_t(0));
    return kFirstMemoryBuffer + int(buffers.size() - 1);
}

void FreeMemoryBuffers()
{
    g_deviceState.memoryBuffers.clear();
}

unsigned char* MemoryBufferBytes(int handle)
{
    std::vector<std::vector<uint8_t>>& buffers = g_deviceState.memoryBuffers;
    if (handle < kFirstMemoryBuffer || size_t(handle - kFirstMemoryBuffer) >= buffers.size())
        return nullptr;
    std::vector<uint8_t>& buffer = buffers[size_t(handle - kFirstMemoryBuffer)];
    return buffer.empty() ? nullptr : buffer.data();
}

void DrawIndexedTestTriangle()
{
    static const float kPositions[9] = {0, 0, 0, 200, 50, 0, 100, 200, 0};
    static const uint16_t kIndexes[3] = {0, 1, 2};
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, kPositions);
    glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_SHORT, kIndexes);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawMemoryBufferTestTriangle()
{
    static const float kPositions[9] = {0, 0, 0, 200, 50, 0, 100, 200, 0};
    static const float kColours[12] = {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1};
    static const float kCoordinates[6] = {0, 0, 1, 0, 1, 1};
    static const uint16_t kIndexes[3] = {0, 1, 2};
    const int positions = CreateMemoryBuffer(sizeof(kPositions));
    const int colours = CreateMemoryBuffer(sizeof(kColours));
    const int coordinates = CreateMemoryBuffer(sizeof(kCoordinates));
    const int indexes = CreateMemoryBuffer(sizeof(kIndexes));
    auto fill = [](int handle, const void* source, size_t size) {
        if (unsigned char* bytes = MemoryBufferBytes(handle))
            std::memcpy(bytes, source, size);
    };
    fill(positions, kPositions, sizeof(kPositions));
    fill(colours, kColours, sizeof(kColours));
    fill(coordinates, kCoordinates, sizeof(kCoordinates));
    fill(indexes, kIndexes, sizeof(kIndexes));

    glBlendFunc(GL_ONE, GL_ZERO);
    BindForDrawing(LookUpOrFallback(10000));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    auto point = [](GLenum array, int handle, int size, auto setPointer) {
        if (const unsigned char* bytes = MemoryBufferBytes(handle)) {
            glEnableClientState(array);
            setPointer(size, GL_FLOAT, 0, bytes);
        } else {
            glDisableClientState(array);
        }
    };
    point(GL_VERTEX_ARRAY, positions, 3, glVertexPointer);
    point(GL_COLOR_ARRAY, colours, 4, glColorPointer);
    point(GL_TEXTURE_COORD_ARRAY, coordinates, 2, glTexCoordPointer);
    // The index buffer is made and filled but the triangle is drawn in order without it.
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    FreeMemoryBuffers();
}

void zorOpenGL::DrawCircle(float x, float y, float radius, int segments)
{
    DrawCirclePoints(GL_LINE_LOOP, g_circlePoints, x, y, radius, segments);
}

void zorOpenGL::FillCircle(float x, float y, float radius, int segments)
{
    // A fan over the rim points only, from the point at angle 0: no centre vertex.
    DrawCirclePoints(GL_TRIANGLE_FAN, g_discPoints, x, y, radius, segments);
}

void zorOpenGL::FillRect(float x1, float y1, float x2, float y2)
{
    const float v[8] = {x1, y1, x2, y1, x1, y2, x2, y2};
    DrawFlat(GL_TRIANGLE_STRIP, v, 4);
}

void zorOpenGL::FillTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
{
    const float v[6] = {x1, y1, x2, y2, x3, y3};
    DrawFlat(GL_TRIANGLE_STRIP, v, 3);
}

void zorOpenGL::DrawLine(float x1, float y1, float x2, float y2)
{
    const float v[4] = {x1, y1, x2, y2};
    DrawFlat(GL_LINES, v, 2);
}

void zorOpenGL::DrawRect(float x1, float y1, float x2, float y2)
{
    const float v[8] = {x1, y1, x2, y1, x2, y2, x1, y2};
    DrawFlat(GL_LINE_LOOP, v, 4);
}

void zorOpenGL::DrawTexturedArc(int index, float radius1, float radius0, float startAngle,
                                float endAngle, const int* sourceRect)
{
    TextureRecord* record = LookUpOrFallback(index);
    if (!record)
        return;
    const int n = MakeArcVertices(float(record->width), float(record->height), radius1, radius0,
                                  startAngle, endAngle, sourceRect, g_arcPositions,
                                  g_arcCoordinates);
    BindForDrawing(record);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, g_arcCoordinates.data());
    glVertexPointer(2, GL_FLOAT, 0, g_arcPositions.data());
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 2 * n + 2);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void zorOpenGL::BeginTextured(int index)
{
    // Index 0 and below mean no texture.
    if (index <= 0) {
        UnbindTexture();
        return;
    }
    BindForDrawing(LookUpOrFallback(index));
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
}

void zorOpenGL::EndTextured()
{
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void zorOpenGL::DrawTexturedRect(float x1, float y1, float x2, float y2, float s1, float t1,
                                 float s2, float t2)
{
    const float positions[8] = {x1, y1, x2, y1, x1, y2, x2, y2};
    const float coordinates[8] = {s1, t1, s2, t1, s1, t2, s2, t2};
    std::memcpy(g_rectPositions, positions, sizeof(positions));
    std::memcpy(g_rectCoordinates, coordinates, sizeof(coordinates));
    glTexCoordPointer(2, GL_FLOAT, 0, g_rectCoordinates);
    glVertexPointer(2, GL_FLOAT, 0, g_rectPositions);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void zorOpenGL::DrawArrays(int kind, int count, const float* positions,
                           const float* textureCoordinates, const void* colours, int flags)
{
    static const GLenum kModes[4] = {GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_LINES, GL_LINE_STRIP};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer((flags & 2) ? 3 : 2, GL_FLOAT, 0, positions);
    if (textureCoordinates) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, textureCoordinates);
    } else {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, colours);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    // A negative count, or no positions to read, draws nothing.
    if (kind >= 0 && kind < 4 && count > 0 && positions)
        glDrawArrays(kModes[kind], 0, count);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void zorOpenGL::DrawLetterbox(int width, int height, const int* rectangle)
{
    if (!rectangle)
        return;
    glBlendFunc(GL_ONE, GL_ZERO);
    glColor4f(0, 0, 0, 1);
    if (width >= 0 && height >= 0)
        glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // An empty view has no box to map: GL would refuse it with an error.
    if (width / 2 != 0 && height / 2 != 0)
        glOrtho(-(width / 2), width / 2, -(height / 2), height / 2, -1, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(1, -1, 1);
    glTranslatef(float(-width * 0.5), float(-height * 0.5), 0);
    glColor4f(0, 0, 0, 1);
    const float w = float(width), h = float(height);
    FillRect(0, 0, float(rectangle[0]), h);
    FillRect(float(rectangle[2]), 0, w, h);
    FillRect(0, 0, w, float(rectangle[1]));
    FillRect(0, float(rectangle[3]), w, h);
}
