// Drawing helpers of the device that its Command operation reaches.
#pragma once

#include <vector>

// COMMAND_DRAW_INDEXED_TRIANGLE (and _AGAIN): a white triangle drawn from indexes.
void DrawIndexedTestTriangle();

// COMMAND_DRAW_BUFFER_TRIANGLE: a red, green and blue triangle drawn from memory buffers.
void DrawMemoryBufferTestTriangle();

// A zero-filled device-held byte array; returns its handle (1000 for the first).
int CreateMemoryBuffer(int size);
// Frees every memory buffer, so handles start again at 1000.
void FreeMemoryBuffers();
// The bytes of the buffer with the handle, or null when the handle is not valid.
unsigned char* MemoryBufferBytes(int handle);

// Counts of rim points and arc segments, as the drawing operations choose them.
int CirclePointCount(float radius, int segments);
int ArcSegmentCount(float startAngle, float endAngle);

// Fills points with the n rim points of a circle (2 floats each) and returns n.
int MakeCirclePoints(float x, float y, float radius, int segments, std::vector<float>& points);

// Fills the positions and texture coordinates of a ring segment around the origin of a
// texture textureWidth x textureHeight (2n + 2 vertices, 2 floats each); returns n.
// sourceRect is { x0, y0, x1, y1 } in texels, null for the whole texture.
int MakeArcVertices(float textureWidth, float textureHeight, float radius1, float radius0,
                    float startAngle, float endAngle, const int* sourceRect,
                    std::vector<float>& positions, std::vector<float>& coordinates);
