// Tests of where the picture lies in the view: centring, panning within the edges, fitting,
// the zoom steps and zooming around a point.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "src/app.h"
#include "src/view.h"

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
