// Tests of the device's primitives: counts and vertices, and what they draw into the frame.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/primitives.h"
#include "foundation/surface.h"
#include "frame.h"
#include "gl_window.h"

namespace {

const Rgb kBlack = {0, 0, 0};
const Rgb kWhite = {255, 255, 255};
const float kQuarterTurn = 1.5707964f;  // pi / 2 in single precision

class PrimitiveTest : public GlWindowTest {
protected:
    void SetUp() override { OpenWindow(640, 480); }
    // The whole window as a pixel view, black, drawing opaque white by replacement.
    void BlackView()
    {
        device.Set2D(0, 0, nullptr);
        device.ClearColor(0, 0, 0, 1);
        device.SetRenderState(RENDER_BLEND, BLEND_REPLACE);
        device.SetColor(1, 1, 1, 1);
    }
    void ExpectArraysOff()
    {
        EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
        EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    }
};

}  // namespace

TEST(PrimitiveCountTest, CirclesAndArcsUseTheirSegmentCounts)
{
    const float huge = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct CircleRow {
        float radius;
        int segments, points;
    } circles[] = {
        {10, 0, 8},      // 10 x 6.283184 / 12 = 5.24, raised to 8
        {100, 0, 52},    // 52.36
        {0, 0, 8},       // all at the centre
        {10, 3, 3},      // an explicit count of 3 or more is taken as it is
        {100, 2, 52},    // fewer than 3: from the radius
        {-50, 0, 8},
        {nan, 0, 8},
        {huge, 0, 1 << 20},  // bounded
    };
    for (const CircleRow& row : circles)
        EXPECT_EQ(CirclePointCount(row.radius, row.segments), row.points)
            << "radius " << row.radius << " segments " << row.segments;

    struct ArcRow {
        float start, end;
        int segments;
    } arcs[] = {
        {0, kQuarterTurn, 10},  // the step is a little below pi / 18
        {0, 2 * kQuarterTurn, 19},
        {0, 4 * kQuarterTurn, 37},
        {kQuarterTurn, 0, 10},
        {1, 1, 8},  // equal angles: 8 segments of no width
        {0, 0.5f, 8},
        {0, nan, 8},
    };
    for (const ArcRow& row : arcs)
        EXPECT_EQ(ArcSegmentCount(row.start, row.end), row.segments)
            << row.start << " to " << row.end;
}

TEST(PrimitiveCountTest, CirclePointsStartAtAngleZeroAndTurnTowardsPositiveY)
{
    std::vector<float> points;
    ASSERT_EQ(MakeCirclePoints(100, 50, 10, 0, points), 8);
    EXPECT_FLOAT_EQ(points[0], 110);
    EXPECT_FLOAT_EQ(points[1], 50);
    // 8 points a little less than 45 degrees apart; with y down they run clockwise on screen.
    EXPECT_NEAR(points[2], 100 + 10 * std::cos(6.283184f / 8), 1e-4);
    EXPECT_GT(points[3], 50.0f);
    EXPECT_NEAR(points[4 * 2], 90, 1e-4);
    EXPECT_NEAR(points[4 * 2 + 1], 50, 1e-3);
    std::vector<float> centre;
    ASSERT_EQ(MakeCirclePoints(3, 4, 0, 0, centre), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(centre[i * 2], 3);
        EXPECT_EQ(centre[i * 2 + 1], 4);
    }
}

TEST(PrimitiveCountTest, ArcVerticesMapTheSourceRectangleOntoTheRing)
{
    std::vector<float> positions, coordinates;
    const int n = MakeArcVertices(64, 64, 30, 10, 0, kQuarterTurn, nullptr, positions,
                                  coordinates);
    ASSERT_EQ(n, 10);
    ASSERT_GE(positions.size(), size_t(2 * n + 2) * 2);
    // Vertex 2i on the radius0 circle, 2i + 1 on the radius1 circle.
    EXPECT_FLOAT_EQ(positions[0], 10);
    EXPECT_FLOAT_EQ(positions[1], 0);
    EXPECT_FLOAT_EQ(positions[2], 30);
    EXPECT_NEAR(positions[n * 4 + 1], 10, 1e-5);
    EXPECT_NEAR(positions[n * 4 + 3], 30, 1e-5);
    EXPECT_NEAR(positions[n * 4 + 2], 0, 1e-5);
    EXPECT_FLOAT_EQ(coordinates[0], 0);
    EXPECT_FLOAT_EQ(coordinates[1], 0) << "t 0 on the radius0 circle";
    EXPECT_FLOAT_EQ(coordinates[3], 1) << "t 1 on the radius1 circle";
    EXPECT_FLOAT_EQ(coordinates[n * 4], 1) << "s reaches 1 at the end angle";
    EXPECT_FLOAT_EQ(coordinates[5 * 4], 0.5f);

    const int source[4] = {16, 0, 48, 64};
    MakeArcVertices(64, 64, 30, 10, 0, kQuarterTurn, source, positions, coordinates);
    EXPECT_FLOAT_EQ(coordinates[0], 0.25f);
    EXPECT_FLOAT_EQ(coordinates[n * 4], 0.75f);
    EXPECT_FLOAT_EQ(coordinates[n * 4 + 2], 0.75f);
}

TEST_F(PrimitiveTest, FlatShapesDrawWhereTheyAre)
{
    BlackView();
    device.FillCircle(100, 100, 20, 0);
    device.DrawCircle(300, 100, 20, 64);
    device.DrawLine(10, 300.5f, 60, 300.5f);
    device.DrawRect(400.5f, 300.5f, 450.5f, 340.5f);
    device.FillTriangle(500, 10, 600, 10, 500, 110);
    ExpectArraysOff();
    const Frame frame(device, 640, 480);
    EXPECT_EQ(frame.At(100, 100), kWhite) << "the disc is filled";
    EXPECT_EQ(frame.At(115, 100), kWhite);
    EXPECT_EQ(frame.At(125, 100), kBlack);
    EXPECT_EQ(frame.At(300, 100), kBlack) << "an outline leaves the centre";
    EXPECT_GT(frame.Count(kWhite, 318, 95, 322, 105), 0) << "the rim at angle 0";
    EXPECT_EQ(frame.Count(kWhite, 10, 300, 60, 301), 50) << "the line";
    EXPECT_EQ(frame.At(425, 320), kBlack);
    EXPECT_EQ(frame.At(425, 300), kWhite);
    EXPECT_EQ(frame.At(400, 320), kWhite);
    EXPECT_EQ(frame.At(520, 30), kWhite) << "inside the triangle";
    EXPECT_EQ(frame.At(590, 100), kBlack) << "beyond its long edge";
}

TEST_F(PrimitiveTest, TexturedRectanglesShowTheirTexels)
{
    // 2 x 2 texels: red, green on the first row; blue, white on the second.
    const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    ASSERT_EQ(device.CreateTexture(2, 2, 2, texels, 0, 0, 0, PF_RGBA), 2);
    BlackView();
    device.BeginTextured(2);
    device.DrawTexturedRect(0, 0, 20, 20, 0, 0, 1, 1);
    device.DrawTexturedRect(40, 0, 80, 20, 0, 0, 2, 1);  // coordinates repeat
    device.EndTextured();
    // A missing index draws the checkerboard: faint white squares of 8 texels.
    device.BeginTextured(77);
    device.DrawTexturedRect(100, 0, 116, 16, 0, 0, 0.25f, 0.25f);
    device.EndTextured();
    ExpectArraysOff();
    const Frame frame(device, 640, 480);
    EXPECT_EQ(frame.At(5, 5), (Rgb{255, 0, 0})) << "first texel at the top-left";
    EXPECT_EQ(frame.At(15, 5), (Rgb{0, 255, 0}));
    EXPECT_EQ(frame.At(5, 15), (Rgb{0, 0, 255}));
    EXPECT_EQ(frame.At(15, 15), kWhite);
    EXPECT_EQ(frame.At(45, 5), (Rgb{255, 0, 0}));
    EXPECT_EQ(frame.At(65, 5), (Rgb{255, 0, 0})) << "the second repeat";
    EXPECT_EQ(frame.At(100, 0), kWhite);
    EXPECT_EQ(frame.At(108, 0), kBlack);
    EXPECT_EQ(frame.At(108, 8), kWhite);
}

TEST_F(PrimitiveTest, TexturedArcCoversItsRing)
{
    const std::vector<uint8_t> white(4 * 4 * 4, 255);
    ASSERT_EQ(device.CreateTexture(1, 4, 4, white.data(), 0, 0, 0, PF_RGBA), 1);
    BlackView();
    device.ApplyTranslation(320, 240, 0);
    device.DrawTexturedArc(1, 60, 30, 0, kQuarterTurn, nullptr);
    ExpectArraysOff();
    const Frame frame(device, 640, 480);
    // With y down the quarter from angle 0 to pi / 2 lies to the lower right of the centre.
    EXPECT_EQ(frame.At(320 + 32, 240 + 32), kWhite) << "radius 45 at 45 degrees";
    EXPECT_EQ(frame.At(320 + 10, 240 + 10), kBlack) << "inside radius0";
    EXPECT_EQ(frame.At(320 + 50, 240 + 50), kBlack) << "outside radius1";
    EXPECT_EQ(frame.At(320 + 32, 240 - 32), kBlack) << "another quarter";
}

TEST_F(PrimitiveTest, DrawArraysDrawsCallerArrays)
{
    const float flat[6] = {0, 0, 40, 0, 0, 40};
    const float deep[9] = {100, 0, 0.5f, 140, 0, 0.5f, 100, 40, 0.5f};
    const float colours[12] = {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1};
    struct Row {
        const char* what;
        int kind, count;
        const float* positions;
        const void* colours;
        int flags;
        int x, y;  // a pixel that the draw reaches, or would
        Rgb expected;
    } rows[] = {
        {"triangles", 0, 3, flat, nullptr, 0, 5, 5, kWhite},
        {"colour array", 1, 3, flat, colours, 0, 5, 5, {0, 0, 255}},
        {"flags 2: three floats a position", 0, 3, deep, nullptr, 2, 105, 5, kWhite},
        {"kind 4 draws nothing", 4, 3, flat, nullptr, 0, 5, 5, kBlack},
        {"a negative count draws nothing", 0, -3, flat, nullptr, 0, 5, 5, kBlack},
        {"no positions draw nothing", 0, 3, nullptr, nullptr, 0, 5, 5, kBlack},
    };
    for (const Row& row : rows) {
        BlackView();
        device.DrawArrays(row.kind, row.count, row.positions, nullptr, row.colours, row.flags);
        ExpectArraysOff();
        EXPECT_EQ(Frame(device, 640, 480).At(row.x, row.y), row.expected) << row.what;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PrimitiveTest, LetterboxBandsAreBlackOutsideTheRectangle)
{
    struct Row {
        int rectangle[4];
        int blackColumns, blackRows;  // band widths at each side
    } rows[] = {{{80, 0, 560, 480}, 80, 0}, {{0, 60, 640, 420}, 0, 60}};
    for (const Row& row : rows) {
        device.Set2D(0, 0, nullptr);
        device.ClearColor(0.5f, 0.5f, 0.5f, 1);
        device.SetColor(1, 1, 1, 1);
        device.DrawLetterbox(640, 480, row.rectangle);
        const Frame frame(device, 640, 480);
        const int inside = (640 - 2 * row.blackColumns) * (480 - 2 * row.blackRows);
        EXPECT_EQ(frame.Count(kBlack), 640 * 480 - inside) << row.rectangle[0];
        EXPECT_EQ(frame.Count(kBlack, row.blackColumns, row.blackRows, 640 - row.blackColumns,
                              480 - row.blackRows),
                  0)
            << "the picture area is left alone";
        float colour[4];
        device.GetValue(VALUE_CURRENT_COLOR, nullptr, colour);
        EXPECT_EQ(colour[0], 0.0f) << "the colour is left black";
        EXPECT_EQ(colour[3], 1.0f);
    }
    device.DrawLetterbox(640, 480, nullptr);
    device.DrawLetterbox(0, 0, rows[0].rectangle);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PrimitiveTest, TestTrianglesAndMemoryBuffers)
{
    EXPECT_EQ(CreateMemoryBuffer(16), 1000);
    EXPECT_EQ(CreateMemoryBuffer(0), 1001);
    EXPECT_NE(MemoryBufferBytes(1000), nullptr);
    EXPECT_EQ(MemoryBufferBytes(1000)[15], 0) << "zero-filled";
    EXPECT_EQ(MemoryBufferBytes(1002), nullptr);
    EXPECT_EQ(MemoryBufferBytes(999), nullptr);
    FreeMemoryBuffers();
    EXPECT_EQ(CreateMemoryBuffer(4), 1000);
    FreeMemoryBuffers();

    for (int op : {COMMAND_DRAW_INDEXED_TRIANGLE, COMMAND_DRAW_INDEXED_TRIANGLE_AGAIN}) {
        BlackView();
        device.SetColor(1, 0, 0, 1);
        device.Command(op, 0, nullptr, 0);
        const Frame frame(device, 640, 480);
        EXPECT_EQ(frame.At(100, 100), kWhite) << "op " << op;
        EXPECT_EQ(frame.At(190, 190), kBlack) << "op " << op;
    }

    // With a white texture at index 10000 the corners show red, green and blue.
    const uint8_t white[4] = {255, 255, 255, 255};
    ASSERT_EQ(device.CreateTexture(10000, 1, 1, white, 0, 0, 0, PF_RGBA), 10000);
    BlackView();
    device.Command(COMMAND_DRAW_BUFFER_TRIANGLE, 0, nullptr, 0);
    ExpectArraysOff();
    EXPECT_TRUE(g_deviceState.memoryBuffers.empty());
    EXPECT_EQ(CreateMemoryBuffer(8), 1000);
    FreeMemoryBuffers();
    const Frame frame(device, 640, 480);
    const Rgb nearRed = frame.At(6, 3), nearGreen = frame.At(190, 49);
    const Rgb nearBlue = frame.At(100, 195);
    EXPECT_GT(nearRed.r, 200) << nearRed;
    EXPECT_GT(nearGreen.g, 200) << nearGreen;
    EXPECT_GT(nearBlue.b, 200) << nearBlue;
    EXPECT_EQ(frame.At(190, 190), kBlack);
}
