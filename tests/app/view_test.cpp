// Tests of where the picture lies in the view: centring, panning within the edges, fitting,
// the zoom steps and zooming around a point.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/app.h"
#include "src/glhelp.h"
#include "src/globals.h"
#include "src/snapshot.h"
#include "src/view.h"
#include "src/window_handlers.h"
#include "test_support.h"
#include "app/app_fixture.h"
#include "app/picture_fixture.h"

TEST(PlacePictureTest, CentresClampsPansAndFits)
{
    struct Case {
        const char* what;
        int viewWidth, viewHeight, pictureWidth, pictureHeight;
        bool fit;
        float zoom;
        int panX, panY;
        int wantLeft, wantBottom;
        float wantScale;
        int wantPanX, wantPanY;
    };
    const Case cases[] = {
        {"same size", 301, 199, 301, 199, false, 1, 0, 0, 0, 0, 1, 0, 0},
        {"1 x 1 in 1 x 1", 1, 1, 1, 1, false, 1, 0, 0, 0, 0, 1, 0, 0},
        // The odd pixel of a gap goes right and down, offsets stay whole.
        {"centred, odd gaps", 640, 480, 301, 199, false, 1, 5, 5, 169, 141, 1, 0, 0},
        {"1 x 1 centred", 640, 480, 1, 1, false, 1, 0, 0, 319, 240, 1, 0, 0},
        {"wider: pan", 400, 300, 1000, 200, false, 1, 250, 0, -250, 50, 1, 250, 0},
        {"pan past the right edge", 400, 300, 1000, 200, false, 1, 900, 0, -600, 50, 1, 600, 0},
        {"pan before the left edge", 400, 300, 1000, 200, false, 1, -7, 0, 0, 50, 1, 0, 0},
        // Rows count down from the top: pan 0 shows the top, the bottom row then lies below.
        {"taller: top", 300, 400, 200, 1000, false, 1, 0, 0, 50, -600, 1, 0, 0},
        {"taller: bottom", 300, 400, 200, 1000, false, 1, 0, 10000, 50, 0, 1, 0, 600},
        {"fit a wide picture", 400, 300, 1600, 600, true, 1, 9, 9, 0, 75, 0.25f, 9, 9},
        {"fit a tall picture", 400, 300, 300, 600, true, 1, 0, 0, 125, 0, 0.5f, 0, 0},
        {"fit never enlarges", 400, 300, 100, 50, true, 1, 0, 0, 150, 125, 1, 0, 0},
        {"empty view", 0, 0, 10, 10, false, 1, 3, 4, 0, 0, 1, 3, 4},
        // Zoomed, the pan counts view pixels of the zoomed picture.
        {"twice: pan", 400, 300, 300, 200, false, 2, 100, 50, -100, -50, 2, 100, 50},
        {"twice: pan clamped", 400, 300, 300, 200, false, 2, 900, 900, -200, 0, 2, 200, 100},
        {"a third: centred", 400, 300, 600, 300, false, 1.0f / 3, 50, 50, 100, 100, 1.0f / 3, 0, 0},
        {"fit ignores the zoom", 400, 300, 1600, 600, true, 4, 0, 0, 0, 75, 0.25f, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t panX = c.panX, panY = c.panY;
        const PicturePlacement place = PlacePicture(c.viewWidth, c.viewHeight, c.pictureWidth,
                                                    c.pictureHeight, c.fit, c.zoom, &panX, &panY);
        EXPECT_EQ(place.left, c.wantLeft);
        EXPECT_EQ(place.bottom, c.wantBottom);
        EXPECT_FLOAT_EQ(place.scale, c.wantScale);
        EXPECT_EQ(panX, c.wantPanX);
        EXPECT_EQ(panY, c.wantPanY);
    }
}

TEST(ZoomStepTest, StepsGoThroughOneTexelPerPixelAndStopAtTheEnds)
{
    struct Case {
        const char* what;
        float scale;
        int direction;
        float want;
    };
    const Case cases[] = {
        {"in from 100 %", 1.0f, 1, 1.5f},
        {"out from 100 %", 1.0f, -1, 2.0f / 3},
        {"in from 67 % lands on 100 %", 2.0f / 3, 1, 1.0f},
        {"out from 150 % lands on 100 %", 1.5f, -1, 1.0f},
        {"in from a fitted 37 %", 0.37f, 1, 0.5f},
        {"out from a fitted 37 %", 0.37f, -1, 1.0f / 3},
        {"in from a scale a hair below a step", 0.4999f, 1, 2.0f / 3},
        {"in from 400 %", 4.0f, 1, 8.0f},
        {"in at the top stays", 16.0f, 1, 16.0f},
        {"out at the bottom stays", 1.0f / 16, -1, 1.0f / 16},
        {"out below the bottom stays", 0.03f, -1, 0.03f},
        {"in from below the bottom", 0.03f, 1, 1.0f / 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FLOAT_EQ(NextZoomStep(c.scale, c.direction), c.want);
    }
    // Every step is reached from the one before and leads back to it.
    for (int i = 1; i < kZoomStepCount; ++i) {
        EXPECT_FLOAT_EQ(NextZoomStep(kZoomSteps[i - 1], 1), kZoomSteps[i]);
        EXPECT_FLOAT_EQ(NextZoomStep(kZoomSteps[i], -1), kZoomSteps[i - 1]);
    }
}

TEST(ZoomStepTest, ThePointUnderThePointerStaysWhereItIs)
{
    struct Case {
        const char* what;
        int viewWidth, viewHeight, pictureWidth, pictureHeight;
        bool fit;
        float zoom;
        int panX, panY;
        int x, y;  // the pointer, from the view's top left corner
        float to;
    };
    const Case cases[] = {
        {"100 % to 150 %, panned", 640, 480, 4000, 3000, false, 1, 1000, 700, 100, 400, 1.5f},
        {"150 % to 100 %", 640, 480, 4000, 3000, false, 1.5f, 1500, 1000, 600, 20, 1},
        {"fitted to 50 %", 640, 480, 4000, 3000, true, 1, 0, 0, 300, 200, 0.5f},
        {"100 % to 1600 %, odd sizes", 301, 199, 1000, 700, false, 1, 333, 222, 17, 190, 16},
        {"a third to a quarter", 800, 600, 9000, 7000, false, 1.0f / 3, 1234, 987, 799, 0,
         0.25f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t panX = c.panX, panY = c.panY;
        const PicturePlacement before = PlacePicture(c.viewWidth, c.viewHeight, c.pictureWidth,
                                                     c.pictureHeight, c.fit, c.zoom, &panX, &panY);
        KeepPointAtZoom(c.x, c.y, c.viewHeight, c.pictureHeight, before, c.to, &panX, &panY);
        const PicturePlacement after = PlacePicture(c.viewWidth, c.viewHeight, c.pictureWidth,
                                                    c.pictureHeight, false, c.to, &panX, &panY);
        EXPECT_FLOAT_EQ(after.scale, c.to);
        // The picture point under the pointer, before and after, from the view's top left.
        auto pointUnder = [&](const PicturePlacement& place) {
            const double top = c.viewHeight - place.bottom - double(c.pictureHeight) * place.scale;
            return std::make_pair((c.x - place.left) / place.scale, (c.y - top) / place.scale);
        };
        const auto was = pointUnder(before);
        const auto is = pointUnder(after);
        // Within the pixel the pointer is on, at the finer of the two scales.
        const double slack = 1.0 / std::min(before.scale, after.scale);
        EXPECT_NEAR(is.first, was.first, slack);
        EXPECT_NEAR(is.second, was.second, slack);
    }
}

TEST(ZoomStepTest, TheTitleShowsTheZoomUnlessItIsOneTexelPerPixel)
{
    struct Case {
        float scale;
        const char* want;
    };
    const Case cases[] = {{1.0f, ""},         {0.37f, " 37%"},       {1.5f, " 150%"},
                          {16.0f, " 1600%"},  {2.0f / 3, " 67%"},    {1.0f / 12, " 8.3%"},
                          {0.9996f, " 100.0%"}, {0.064f, " 6.4%"}};
    for (const Case& c : cases) {
        char text[32];
        ZoomTitleSuffix(c.scale, text, sizeof(text));
        EXPECT_STREQ(text, c.want) << c.scale;
    }
}

namespace {

// The captured frame's pixel (x, y), from the top left corner.
const uint8_t* FramePixel(const OxSurface* frame, int x, int y)
{
    return frame->readPixels + ptrdiff_t(y) * frame->pitch + x * 3;
}

bool SamePixel(const uint8_t* a, const uint8_t* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Presses the key as the window's key handling passes it on, and acts on it.
void Press(int virtualKey)
{
    g_app->QueueKey({virtualKey, 0, false});
    g_app->Update();
}

// A picture wider than the work area opens fitted and F shows it at one texel per pixel;
// the zoom keys step through the zoom, sharp when magnified and smooth when reduced; a
// picture that fits opens at one texel per pixel. Drawn frames show the sampling.
void CheckFitOnOpenAndZoomKeys(const TempDir& dir, WindowHandle handle)
{
    int largestWidth = 0, largestHeight = 0;
    GetWorkAreaClientSize(handle, &largestWidth, &largestHeight);
    ASSERT_GT(largestWidth, 0);
    const int wide = largestWidth + 120;
    // Steep ramps: a texel blended with its neighbours is far from its own colour.
    ASSERT_TRUE(WriteTestPng(dir.File("wide.png"), wide, 200, [](int x, int y, uint8_t* rgb) {
        rgb[0] = uint8_t(x * 37);
        rgb[1] = uint8_t(y * 53);
    }));
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("small.png"), 130, 64));
    g_power = 100;  // next to no glow: neighbouring texels keep their own colours
    g_window->OnDropFile("wide.png");
    g_app->Update();  // the processor-side pass, on the fixed-function path
    LockGuard lock(g_appLock);
    EXPECT_TRUE(g_app->fitToWindow) << "larger than the work area allows: opened fitted";
    EXPECT_FLOAT_EQ(g_app->ShownScale(), float(g_app->viewWidth) / float(wide));
    g_app->DrawFrame();
    EXPECT_TRUE(g_smoothWall) << "reduced: linear";

    Press(0x46);  // F: one texel per pixel, from the top left corner
    EXPECT_FALSE(g_app->fitToWindow);
    EXPECT_FLOAT_EQ(g_app->ShownScale(), 1.0f);
    EXPECT_EQ(g_app->Placement().left, 0);
    g_app->DrawFrame();
    EXPECT_FALSE(g_smoothWall);

    struct Step {
        int key;
        float wantScale;
    };
    const Step steps[] = {{VK_OEM_PLUS, 1.5f}, {VK_ADD, 2.0f},           {VK_OEM_MINUS, 1.5f},
                          {VK_SUBTRACT, 1.0f}, {VK_SUBTRACT, 2.0f / 3}, {VK_ADD, 1.0f},
                          {VK_ADD, 1.5f},      {VK_OEM_PLUS, 2.0f}};
    for (const Step& step : steps) {
        Press(step.key);
        EXPECT_FLOAT_EQ(g_app->ShownScale(), step.wantScale) << "key " << step.key;
        g_app->DrawFrame();
        EXPECT_EQ(g_smoothWall, step.wantScale < 1.0f) << "key " << step.key;
    }

    // At 200 % each texel covers 2 x 2 pixels exactly, and its neighbours keep their own:
    // blended, the pixels of one texel differ.
    OxHolder<OxSurface> frame(CaptureWindow());
    ASSERT_TRUE(frame);
    const PicturePlacement place = g_app->Placement();
    const int top = g_app->viewHeight - place.bottom - int(200 * place.scale);
    // The top left pixel of a texel near the middle of the view, away from black (which
    // the glow still turns white).
    const int x = g_app->viewWidth / 2 + ((g_app->viewWidth / 2 - place.left) & 1);
    const int y = g_app->viewHeight / 2 + ((g_app->viewHeight / 2 - top) & 1);
    ASSERT_LT(x + 2, frame->width);
    ASSERT_LT(y + 2, frame->height);
    EXPECT_TRUE(SamePixel(FramePixel(frame.get(), x, y), FramePixel(frame.get(), x + 1, y + 1)));
    EXPECT_FALSE(SamePixel(FramePixel(frame.get(), x + 1, y), FramePixel(frame.get(), x + 2, y)));
    EXPECT_FALSE(SamePixel(FramePixel(frame.get(), x, y + 1), FramePixel(frame.get(), x, y + 2)));

    g_window->OnDropFile("small.png");
    EXPECT_FALSE(g_app->fitToWindow) << "fits: opened at one texel per pixel";
    EXPECT_FLOAT_EQ(g_app->ShownScale(), 1.0f);
}

}  // namespace

TEST_F(PictureTest, ALargePictureOpensFittedAndTheKeysZoomInSteps)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    CheckFitOnOpenAndZoomKeys(dir, handle);
}

TEST_F(PictureFixedFunctionTest, ALargePictureOpensFittedAndTheKeysZoomInSteps)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    ASSERT_FALSE(g_hasShaders);
    CheckFitOnOpenAndZoomKeys(dir, handle);
}

TEST_F(PictureTest, CtrlWheelZoomsAroundThePointer)
{
    ASSERT_TRUE(WriteCoordinatePicture(dir.File("pic.png"), 301, 199));
    ASSERT_NO_FATAL_FAILURE(StartUp());
    g_window->OnDropFile("pic.png");
    LockGuard lock(g_appLock);
    ASSERT_EQ(g_app->viewWidth, 301);
    // Two notches in at (40, 30): 200 %, with picture pixel (40, 30) still under the pointer.
    MouseRecord wheel = MakeMouseRecord(40.5, 30.5, 2.0, MK_CONTROL);
    g_window->OnMouseWheel(&wheel);
    EXPECT_FLOAT_EQ(g_app->ShownScale(), 2.0f);
    const PicturePlacement place = g_app->Placement();
    const int top = g_app->viewHeight - place.bottom - 2 * 199;
    // Within a texel: the sides at 150 % on the way are whole pixels only nearly.
    EXPECT_NEAR((40 - place.left) / 2.0, 40, 1.0);
    EXPECT_NEAR((30 - top) / 2.0, 30, 1.0);
    // Without Ctrl the wheel pans the zoomed picture: an eighth of the view a notch.
    wheel = MakeMouseRecord(40.5, 30.5, -1.0, 0);
    const int32_t panY = g_app->panY;
    g_window->OnMouseWheel(&wheel);
    EXPECT_EQ(g_app->panY, panY + std::max(16, 199 / 8));
    EXPECT_FLOAT_EQ(g_app->ShownScale(), 2.0f);
}
