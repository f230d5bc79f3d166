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
        EXPECT_TRUE(device.GetValue(VALUE_PROJECTED_POINT, point, clip));
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
        device.SetRenderState(RENDER_BLEND, BLEND_REPLACE);
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
        {BLEND_REPLACE, [](float s, float) { return s; }},
        {BLEND_ADD, [&](float s, float d) { return s * src[3] + d; }},
        {BLEND_INVERSE_DESTINATION, [](float s, float d) { return s * (1 - d); }},
        {BLEND_SCREEN, [](float s, float d) { return s * (1 - d) + d; }},
        {BLEND_ALPHA, [&](float s, float d) { return s * src[3] + d * (1 - src[3]); }},
        {BLEND_MULTIPLY, [](float s, float d) { return d * s; }},
        {6, [](float s, float) { return s; }},  // ignored: the replace set before stays
    };
    for (const Row& row : rows) {
        device.Set2D(0, 0, nullptr);
        device.ClearColor(dst[0], dst[1], dst[2], 1);
        device.SetRenderState(RENDER_BLEND, BLEND_REPLACE);
        device.SetRenderState(RENDER_BLEND, row.mode);
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
    device.SetRenderState(RENDER_BLEND, BLEND_ALPHA);
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
        device.GetValue(VALUE_FILTER_MODE, nullptr, &s.filter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &s.textureFilter);
        return s;
    };
    auto setA = [&]() {
        device.SetColor(0.25f, 0.5f, 0.75f, 1);
        device.SetRenderState(RENDER_BLEND, BLEND_ADD);
        device.SetRenderState(RENDER_CULL, CULL_FRONT);
        device.Set2D(100, 50, nullptr);
        device.SetRenderState(RENDER_FILTER, FILTER_NEAREST);
    };
    auto setB = [&]() {
        device.SetColor(1, 0, 0, 0.5f);
        device.SetRenderState(RENDER_BLEND, BLEND_MULTIPLY);
        device.SetRenderState(RENDER_CULL, CULL_NONE);
        glCullFace(GL_BACK);
        const int rectangle[4] = {5, 6, 25, 46};
        device.Set2D(320, 200, rectangle);
        device.SetRenderState(RENDER_FILTER, FILTER_LINEAR);
    };
    const int everything = STATE_COLOR | STATE_BLEND | STATE_CULL | STATE_PROJECTION |
                           STATE_VIEWPORT | STATE_FILTER;
    for (int flags : {0, int(STATE_COLOR), int(STATE_BLEND), int(STATE_CULL),
                      int(STATE_PROJECTION), int(STATE_VIEWPORT), int(STATE_FILTER),
                      STATE_COLOR | STATE_VIEWPORT, everything}) {
        setA();
        const Snapshot a = take();
        device.PushState(flags);
        setB();
        const Snapshot b = take();
        device.PopState();
        const Snapshot got = take();
        auto pick = [&](int bit) { return (flags & bit) ? a : b; };
        EXPECT_EQ(0, memcmp(got.colour, pick(STATE_COLOR).colour, sizeof(got.colour))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.blend, pick(STATE_BLEND).blend, sizeof(got.blend))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.cull, pick(STATE_CULL).cull, sizeof(got.cull))) << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.projection, pick(STATE_PROJECTION).projection, sizeof(got.projection)))
            << "flags " << flags;
        EXPECT_EQ(0, memcmp(got.viewport, pick(STATE_VIEWPORT).viewport, sizeof(got.viewport)))
            << "flags " << flags;
        EXPECT_EQ(got.filter, pick(STATE_FILTER).filter) << "flags " << flags;
        EXPECT_EQ(got.textureFilter, pick(STATE_FILTER).textureFilter) << "flags " << flags;
    }
    EXPECT_TRUE(g_deviceState.stateStack->states.empty());

    // The projection comes back in whatever matrix mode is current.
    glMatrixMode(GL_MODELVIEW);
    device.PushState(STATE_PROJECTION);
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
    device.PushState(STATE_COLOR);
    device.SetColor(0, 1, 0, 1);
    device.PushState(STATE_COLOR);
    device.SetColor(1, 1, 1, 1);
    device.PopState();
    float colour[4];
    device.GetValue(VALUE_CURRENT_COLOR, nullptr, colour);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 0.0f);
    device.PopState();
    device.PopState();
    device.GetValue(VALUE_CURRENT_COLOR, nullptr, colour);
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
             device.Command(COMMAND_MULTIPLY_ORTHO, 0, size, 0);
         },
         {50, 25}, {1, 1}},
        {"op 4 lower corner",
         [&] {
             float size[2] = {100, 50};
             device.Command(COMMAND_MULTIPLY_ORTHO, 0, size, 0);
         },
         {-50, -25}, {-1, -1}},
        {"op 5 loads the identity",
         [&] {
             device.ApplyScale(4, 4, 4);
             device.Command(COMMAND_LOAD_IDENTITY, 0, nullptr, 0);
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
    device.Command(COMMAND_COLOR_MASK, 0, mask, 0);
    GLboolean colourMask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
    EXPECT_TRUE(colourMask[0]);
    EXPECT_FALSE(colourMask[1]);
    EXPECT_TRUE(colourMask[2]);
    EXPECT_FALSE(colourMask[3]);
    int all[4] = {1, 1, 1, 1};
    device.Command(COMMAND_COLOR_MASK, 0, all, 0);

    float envColour[4] = {0.5f, 0.25f, 0, 1};
    device.Command(COMMAND_TEXTURE_ENV, 1, envColour, 0);
    GLint envMode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_ADD);
    float gotColour[4];
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, gotColour);
    EXPECT_FLOAT_EQ(gotColour[1], 0.25f);
    device.Command(COMMAND_TEXTURE_ENV, 0, nullptr, 0);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    EXPECT_EQ(envMode, GL_MODULATE);

    float frustum[6] = {-1, 1, -2, 2, 1, 10};
    device.Command(COMMAND_FRUSTUM, 0, frustum, 0);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 1.0f);    // 2n / (r - l)
    EXPECT_FLOAT_EQ(projection[5], 0.5f);    // 2n / (t - b)
    EXPECT_FLOAT_EQ(projection[11], -1.0f);  // perspective divide by -z
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    float badFrustum[6] = {-1, 1, -1, 1, 0, 10};  // near 0: GL would refuse it
    device.Command(COMMAND_FRUSTUM, 0, badFrustum, 0);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], 1.0f);
    EXPECT_FLOAT_EQ(projection[11], 0.0f) << "identity";

    int viewport[4] = {3, 4, 50, 60};
    device.Command(COMMAND_VIEWPORT, 0, viewport, 0);
    EXPECT_EQ(Viewport(), (std::vector<int>{3, 4, 50, 60}));
    int badViewport[4] = {0, 0, -5, 10};
    device.Command(COMMAND_VIEWPORT, 0, badViewport, 0);
    EXPECT_EQ(Viewport(), (std::vector<int>{3, 4, 50, 60}));

    float depth = 0.75f;
    device.ClearDepth(1.0f);
    device.Command(COMMAND_SET_CLEAR_DEPTH, 0, &depth, 0);
    float clearValue = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &clearValue);
    EXPECT_FLOAT_EQ(clearValue, 0.75f);
    float stored = 0;
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &stored);
    EXPECT_NEAR(stored, 1.0f, 1e-4) << "op 8 clears nothing";

    device.Command(COMMAND_WIREFRAME, 1, nullptr, 0);
    GLint polygon[2];
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_LINE);
    device.Command(COMMAND_WIREFRAME, 0, nullptr, 0);
    glGetIntegerv(GL_POLYGON_MODE, polygon);
    EXPECT_EQ(polygon[0], GL_FILL);

    // Ops without an action, and ops whose data is missing, do nothing.
    for (int op : {9, 11, 14, 18, 22, -1, int(COMMAND_COLOR_MASK), int(COMMAND_FRUSTUM),
                   int(COMMAND_VIEWPORT), int(COMMAND_MULTIPLY_ORTHO), int(COMMAND_CREATE_TARGET),
                   int(COMMAND_SET_CLEAR_DEPTH), int(COMMAND_BUILD_PROGRAM),
                   int(COMMAND_USE_PROGRAM), int(COMMAND_SET_UNIFORM),
                   int(COMMAND_SET_ATTRIBUTE)})
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
    device.SetRenderState(RENDER_FILTER, FILTER_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    device.SetRenderState(RENDER_FILTER, 7);
    int filter = 0;
    device.GetValue(VALUE_FILTER_MODE, nullptr, &filter);
    EXPECT_EQ(filter, 7) << "stored";
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR) << "but no filter set";
    device.SetRenderState(RENDER_FILTER, FILTER_NEAREST);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    device.SetRenderState(RENDER_WRAP_S, WRAP_CLAMP);
    device.SetRenderState(RENDER_WRAP_T, WRAP_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_CLAMP);
    device.SetRenderState(RENDER_WRAP_T, WRAP_REPEAT);
    device.SetRenderState(RENDER_WRAP_S, 2);  // no such wrap value
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);

    // On screen (y down) the triangle (0,0) (10,0) (0,10) runs clockwise: a front face.
    struct Row {
        int value;
        bool clockwiseDrawn, counterDrawn;
    } rows[] = {
        {CULL_FRONT, false, true},
        {CULL_BACK, true, false},
        {CULL_NONE, true, true},
        {3, true, true},  // no such cull mode: culling stays off
    };
    for (const Row& row : rows) {
        BlackView();
        device.SetRenderState(RENDER_CULL, CULL_NONE);
        device.SetRenderState(RENDER_CULL, row.value);
        device.FillTriangle(0, 0, 10, 0, 0, 10);
        device.FillTriangle(20, 0, 20, 10, 30, 0);
        const Frame frame(device, 640, 480);
        EXPECT_EQ(frame.At(2, 2) == kWhite, row.clockwiseDrawn) << "cull " << row.value;
        EXPECT_EQ(frame.At(22, 2) == kWhite, row.counterDrawn) << "cull " << row.value;
    }
}
