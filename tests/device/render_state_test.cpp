// Tests of the device's views, transforms, render state, saved states, stencil, depth and Command.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "foundation/surface.h"
#include "frame.h"
#include "gl_window.h"

namespace {

const Rgb kBlack = {0, 0, 0};
const Rgb kWhite = {255, 255, 255};
const Rgb kRed = {255, 0, 0};

struct Point {
    float x, y;
};

class RenderStateTest : public GlWindowTest {
protected:
    void SetUp() override { OpenWindow(640, 480); }
    Point Project(float x, float y, float z = 0)
    {
        const float point[3] = {x, y, z};
        float clip[2] = {NAN, NAN};
        EXPECT_TRUE(device.GetValue(3, point, clip));
        return {clip[0], clip[1]};
    }
    void Identity()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    // The 2-D view of the whole window, cleared black, drawing opaque white by replacement.
    void BlackView()
    {
        device.Set2D(0, 0, nullptr);
        device.ClearColor(0, 0, 0, 1);
        device.SetRenderState(0, 0);
        device.SetColor(1, 1, 1, 1);
    }
};

std::vector<int> Viewport()
{
    std::vector<int> v(4);
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

}  // namespace

TEST_F(RenderStateTest, Set2DMapsPixelsOntoTheView)
{
    struct Row {
        const char* what;
        int width, height;
        std::vector<int> rectangle;  // empty: none
        std::vector<int> viewport;
        std::vector<Point> points, clips;
    } rows[] = {
        {"device size", 640, 480, {}, {0, 0, 640, 480}, {{0, 0}, {640, 480}, {320, 240}},
         {{-1, 1}, {1, -1}, {0, 0}}},
        {"0 x 0 takes the device size", 0, 0, {}, {0, 0, 640, 480}, {{0, 0}, {640, 480}},
         {{-1, 1}, {1, -1}}},
        {"a smaller view keeps the whole viewport", 320, 240, {}, {0, 0, 640, 480},
         {{0, 0}, {320, 240}}, {{-1, 1}, {1, -1}}},
        {"a rectangle sets the viewport", 0, 0, {10, 20, 110, 220}, {10, 20, 100, 200},
         {{0, 0}, {640, 480}}, {{-1, 1}, {1, -1}}},
        {"odd width: x runs from 1 to W + 1", 5, 4, {}, {0, 0, 640, 480}, {{1, 0}, {6, 4}},
         {{-1, 1}, {1, -1}}},
    };
    for (const Row& row : rows) {
        glMatrixMode(GL_TEXTURE);
        device.Set2D(row.width, row.height, row.rectangle.empty() ? nullptr : row.rectangle.data());
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW) << row.what;
        EXPECT_EQ(Viewport(), row.viewport) << row.what;
        for (size_t i = 0; i < row.points.size(); ++i) {
            const Point clip = Project(row.points[i].x, row.points[i].y);
            EXPECT_NEAR(clip.x, row.clips[i].x, 1e-6) << row.what << ", point " << i;
            EXPECT_NEAR(clip.y, row.clips[i].y, 1e-6) << row.what << ", point " << i;
        }
    }
}

TEST_F(RenderStateTest, FilledRectanglesCoverExactlyTheirPixelsFromTheTopLeft)
{
    BlackView();
    device.FillRect(0, 0, 1, 1);
    device.FillRect(10, 20, 30, 25);
    device.FillRect(60, 45, 50, 40);  // corners swapped: the strip's winding flips
    const Frame frame(device, 640, 480);
    EXPECT_EQ(frame.At(0, 0), kWhite) << "pixel (0, 0) is the top-left one";
    EXPECT_EQ(frame.At(1, 0), kBlack);
    EXPECT_EQ(frame.At(0, 1), kBlack);
    EXPECT_EQ(frame.Count(kWhite, 10, 20, 30, 25), 100);
    EXPECT_EQ(frame.Count(kWhite, 50, 40, 60, 45), 50);
    EXPECT_EQ(frame.Count(kWhite), 151) << "nothing outside the rectangles";
}

TEST_F(RenderStateTest, BlendModesGiveTheirColours)
{
    const float dst[3] = {0.4f, 0.6f, 0.2f};
    const float src[4] = {0.2f, 0.4f, 0.8f, 0.5f};
    struct Row {
        int mode;
        std::function<float(float s, float d)> blend;
    } rows[] = {
        {0, [](float s, float) { return s; }},
        {1, [&](float s, float d) { return s * src[3] + d; }},
        {2, [](float s, float d) { return s * (1 - d); }},
        {3, [](float s, float d) { return s * (1 - d) + d; }},
        {4, [&](float s, float d) { return s * src[3] + d * (1 - src[3]); }},
        {5, [](float s, float d) { return d * s; }},
        {6, [](float s, float) { return s; }},  // ignored: the replace set before stays
    };
    for (const Row& row : rows) {
        device.Set2D(0, 0, nullptr);
        device.ClearColor(dst[0], dst[1], dst[2], 1);
        device.SetRenderState(0, 0);
        device.SetRenderState(0, row.mode);
        device.SetColor(src[0], src[1], src[2], src[3]);
        device.FillRect(0, 0, 8, 8);
        const Rgb got = Frame(device, 640, 480).At(4, 4);
        // The destination is stored in 8 bits before blending.
        auto expect = [&](int channel) {
            const float d = std::round(dst[channel] * 255) / 255;
            const float value = row.blend(src[channel], d);
            return int(std::lround(std::fmin(value, 1.0f) * 255));
        };
        EXPECT_TRUE(Near(got, {expect(0), expect(1), expect(2)}, 2))
            << "mode " << row.mode << " gave " << got;
    }
    // Unknown kinds change nothing.
    device.SetRenderState(0, 4);
    device.SetRenderState(4, 1);
    GLint source = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    EXPECT_EQ(source, GL_SRC_ALPHA);
}

TEST_F(RenderStateTest, StencilMasksCut)
{
    for (int reference : {1, 0}) {
        BlackView();
        device.EnableDepthTest(true);
        device.ClearStencil(0);
        device.BeginStencilWrite(1);
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        device.FillRect(0, 0, 320, 480);  // the mask: left half
        device.EndStencilWrite();
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST)) << "depth testing stays off";
        EXPECT_EQ(Frame(device, 640, 480).Count(kBlack), 640 * 480) << "the mask draws no colour";
        device.BeginStencilTest(reference);
        device.SetColor(1, 0, 0, 1);
        device.FillRect(0, 0, 640, 480);
        device.EndStencilTest();
        const Frame frame(device, 640, 480);
        const int left = frame.Count(kRed, 0, 0, 320, 480);
        const int right = frame.Count(kRed, 320, 0, 640, 480);
        EXPECT_EQ(left, reference == 1 ? 320 * 480 : 0) << "reference " << reference;
        EXPECT_EQ(right, reference == 1 ? 0 : 320 * 480) << "reference " << reference;
        EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
    }
}

TEST_F(RenderStateTest, DepthTestKeepsNearerFragments)
{
    // FillRect draws at z 0, which the 2-D view puts at depth 0.5.
    for (float clear : {1.0f, 0.25f}) {
        BlackView();
        device.ClearDepth(clear);
        float value = 0;
        glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &value);
        EXPECT_NEAR(value, clear, 1e-4);
        device.EnableDepthTest(true);
        device.FillRect(0, 0, 10, 10);
        device.EnableDepthTest(false);
        EXPECT_EQ(Frame(device, 640, 480).At(5, 5), clear > 0.5f ? kWhite : kBlack)
            << "depth cleared to " << clear;
    }
}

TEST_F(RenderStateTest, PopStateRestoresWhatItsFlagsSelect)
{
    const uint8_t texel[4] = {1, 2, 3, 4};
    ASSERT_EQ(device.CreateTexture(1, 1, 1, texel, 0, 0, 0, PF_RGBA), 1);
    device.BeginTextured(1);
    device.EndTextured();
    struct Snapshot {
        float colour[4];
        GLint blend[2], cull[2], viewport[4];
        float projection[16];
        int filter;
        GLint textureFilter;
    };
    auto take = [&]() {
        Snapshot s = {};
        glGetFloatv(GL_CURRENT_COLOR, s.colour);
        glGetIntegerv(GL_BLEND_SRC, &s.blend[0]);
        glGetIntegerv(GL_BLEND_DST, &s.blend[1]);
        s.cull[0] = glIsEnabled(GL_CULL_FACE);
        glGetIntegerv(GL_CULL_FACE_MODE, &s.cull[1]);
        glGetIntegerv(GL_VIEWPORT, s.viewport);
        glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
        device.GetValue(8, nullptr, &s.filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &s.textureFilter);
        return s;
    };
    auto setA = [&]() {
        device.SetColor(0.25f, 0.5f, 0.75f, 1);
        device.SetRenderState(0, 1);
        device.SetRenderState(5, 1);
        device.Set2D(100, 50, nullptr);
        device.SetRenderState(1, 0);
    };
    auto setB = [&]() {
        device.SetColor(1, 0, 0, 0.5f);
        device.SetRenderState(0, 5);
        device.SetRenderState(5, 0);
        glCullFace(GL_BACK);
        const int rectangle[4] = {5, 6, 25, 46};
        device.Set2D(320, 200, rectangle);
        device.SetRenderState(1, 1);
    };
    for (int flags : {0, 1, 2, 4, 8, 16, 32, 1 + 16, 63}) {
        setA();
        const Snapshot a = take();
        device.PushState(flags);
        setB();
        const Snapshot b = take();
        device.PopState();
        const Snapshot got = take();
        auto pick = [&](int bit) { return (flags & bit) ? a : b; };
        EXPECT_EQ(0, memcmp(got.colour, pick(1).colour, sizeof(got.colour))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.blend, pick(2).blend, sizeof(got.blend))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.cull, pick(4).cull, sizeof(got.cull))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.projection, pick(8).projection, sizeof(got.projection)))
            << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.viewport, pick(16).viewport, sizeof(got.viewport)))
            << "flags " << flags;
        EXPECT_EQ(got.filter, pick(32).filter) << "flags " << flags;
        EXPECT_EQ(got.textureFilter, pick(32).textureFilter) << "flags " << flags;
    }
    EXPECT_TRUE(g_deviceState.stateStack->states.empty());

    // The projection comes back in whatever matrix mode is current.
    glMatrixMode(GL_MODELVIEW);
    device.PushState(8);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_TEXTURE);
    device.PopState();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_TEXTURE);
    glMatrixMode(GL_MODELVIEW);

    // Records nest, and an empty stack pops nothing.
    device.SetColor(0, 0, 1, 1);
    device.PushState(1);
    device.SetColor(0, 1, 0, 1);
    device.PushState(1);
    device.SetColor(1, 1, 1, 1);
    device.PopState();
    float colour[4];
    device.GetValue(2, nullptr, colour);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 0.0f);
    device.PopState();
    device.PopState();
    device.GetValue(2, nullptr, colour);
    EXPECT_EQ(colour[2], 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderStateTest, TransformsMoveProjectedPoints)
{
    const float half = std::sqrt(0.5f);
    struct Row {
        const char* what;
        std::function<void()> apply;
        Point in, out;
    } rows[] = {
        {"planar rotation (0, 1)", [&] { device.ApplyPlanarRotation(0, 1); }, {1, 0}, {0, 1}},
        {"planar (2, 0) scales", [&] { device.ApplyPlanarRotation(2, 0); }, {1, 1}, {2, 2}},
        {"quaternion identity", [&] { device.ApplyQuaternion(0, 0, 0, 1); }, {0.3f, 0.7f},
         {0.3f, 0.7f}},
        {"quaternion of +90 degrees about z turns by -90",
         [&] { device.ApplyQuaternion(0, 0, half, half); }, {1, 0}, {0, -1}},
        {"rotation in degrees", [&] { device.ApplyRotation(90, 0, 0, 1); }, {1, 0}, {0, 1}},
        {"scale", [&] { device.ApplyScale(2, 3, 1); }, {1, 1}, {2, 3}},
        {"translation", [&] { device.ApplyTranslation(0.5f, -0.25f, 0); }, {0, 0}, {0.5f, -0.25f}},
        {"matrix", [&] {
             const float m[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0.1f, 0, 0, 1};
             device.ApplyMatrix(m);
         },
         {0.2f, 0.5f}, {0.6f, 0.2f}},
        {"saved and restored", [&] {
             device.SaveMatrix();
             device.ApplyScale(5, 5, 5);
             device.RestoreMatrix();
         },
         {0.2f, 0.5f}, {0.2f, 0.5f}},
        {"op 4 (100, 50) is ortho(-50, 50, -25, 25)",
         [&] {
             float size[2] = {100, 50};
             device.Command(4, 0, size, 0);
         },
         {50, 25}, {1, 1}},
        {"op 4 lower corner",
         [&] {
             float size[2] = {100, 50};
             device.Command(4, 0, size, 0);
         },
         {-50, -25}, {-1, -1}},
        {"op 5 loads the identity",
         [&] {
             device.ApplyScale(4, 4, 4);
             device.Command(5, 0, nullptr, 0);
         },
         {0.2f, 0.5f}, {0.2f, 0.5f}},
    };
    for (const Row& row : rows) {
        Identity();
        row.apply();
        const Point out = Project(row.in.x, row.in.y);
        EXPECT_NEAR(out.x, row.out.x, 1e-5) << row.what;
        EXPECT_NEAR(out.y, row.out.y, 1e-5) << row.what;
    }
}

TEST_F(RenderStateTest, CommandOpsSetTheirState)
{
    int mask[4] = {1, 0, 1, 0};
    device.Command(0, 0, mask, 0);
    GLboolean colourMask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
    EXPECT_TRUE(colourMask[0]);
    EXPECT_FALSE(colourMask[1]);
    EXPECT_TRUE(colourMask[2]);
    EXPECT_FALSE(colourMask[3]);
    int all[4] = {1, 1, 1, 1};
    device.Command(0, 0, all, 0);

    float envColour[4] = {0.5f, 0.25f, 0, 1};
    device.Command(1, 1, envColour, 0);
    GLint envMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_ADD);
    float gotColour[4];
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, gotColour);
    EXPECT_FLOAT_EQ(gotColour[1], 0.25f);
    device.Command(1, 0, nullptr, 0);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_MODULATE);

    float frustum[6] = {-1, 1, -2, 2, 1, 10};
    device.Command(2, 0, frustum, 0);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 1.0f);    // 2n / (r - l)
    EXPECT_FLOAT_EQ(projection[5], 0.5f);    // 2n / (t - b)
    EXPECT_FLOAT_EQ(projection[11], -1.0f);  // perspective divide by -z
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float badFrustum[6] = {-1, 1, -1, 1, 0, 10};  // near 0: GL would refuse it
    device.Command(2, 0, badFrustum, 0);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 1.0f);
    EXPECT_FLOAT_EQ(projection[11], 0.0f) << "identity";

    int viewport[4] = {3, 4, 50, 60};
    device.Command(3, 0, viewport, 0);
    EXPECT_EQ(Viewport(), (std::vector<int>{3, 4, 50, 60}));
    int badViewport[4] = {0, 0, -5, 10};
    device.Command(3, 0, badViewport, 0);
    EXPECT_EQ(Viewport(), (std::vector<int>{3, 4, 50, 60}));

    float depth = 0.75f;
    device.ClearDepth(1.0f);
    device.Command(8, 0, &depth, 0);
    float clearValue = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearValue);
    EXPECT_FLOAT_EQ(clearValue, 0.75f);
    float stored = 0;
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &stored);
    EXPECT_NEAR(stored, 1.0f, 1e-4) << "op 8 clears nothing";

    device.Command(10, 1, nullptr, 0);
    GLint polygon[2];
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_LINE);
    device.Command(10, 0, nullptr, 0);
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_FILL);

    // Ops without an action, and ops whose data is missing, do nothing.
    for (int op : {9, 11, 14, 18, 22, -1, 0, 2, 3, 4, 7, 8, 12, 15, 16, 17})
        EXPECT_EQ(device.Command(op, 1, nullptr, 0), 0) << "op " << op;
    EXPECT_EQ(Viewport(), (std::vector<int>{3, 4, 50, 60}));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderStateTest, SetRenderStateSetsFilterWrapAndCulling)
{
    const uint8_t texel[4] = {1, 2, 3, 4};
    ASSERT_EQ(device.CreateTexture(1, 1, 1, texel, 0, 0, 0, PF_RGBA), 1);
    device.BeginTextured(1);
    device.EndTextured();
    auto parameter = [](GLenum name) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
        return value;
    };
    device.SetRenderState(1, 1);
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    device.SetRenderState(1, 7);
    int filter = 0;
    device.GetValue(8, nullptr, &filter);
    EXPECT_EQ(filter, 7) << "stored";
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR) << "but no filter set";
    device.SetRenderState(1, 0);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    device.SetRenderState(2, 1);
    device.SetRenderState(3, 1);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_CLAMP);
    device.SetRenderState(3, 0);
    device.SetRenderState(2, 2);  // no such wrap value
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);

    // On screen (y down) the triangle (0,0) (10,0) (0,10) runs clockwise: a front face.
    struct Row {
        int value;
        bool clockwiseDrawn, counterDrawn;
    } rows[] = {{1, false, true}, {2, true, false}, {0, true, true}, {3, true, true}};
    for (const Row& row : rows) {
        BlackView();
        device.SetRenderState(5, 0);
        device.SetRenderState(5, row.value);
        device.FillTriangle(0, 0, 10, 0, 0, 10);
        device.FillTriangle(20, 0, 20, 10, 30, 0);
        const Frame frame(device, 640, 480);
        EXPECT_EQ(frame.At(2, 2) == kWhite, row.clockwiseDrawn) << "cull " << row.value;
        EXPECT_EQ(frame.At(22, 2) == kWhite, row.counterDrawn) << "cull " << row.value;
    }
}
