// Tests of where the picture lies in the view: centring, panning within the edges, fitting.
#include <gtest/gtest.h>

#include "src/app.h"
#include "src/view.h"

TEST(PlacePictureTest, CentresClampsPansAndFits)
{
    struct Case {
        const char* what;
        int viewWidth, viewHeight, pictureWidth, pictureHeight;
        bool fit;
        int panX, panY;
        int wantLeft, wantBottom;
        float wantScale;
        int wantPanX, wantPanY;
    };
    const Case cases[] = {
        {"same size", 301, 199, 301, 199, false, 0, 0, 0, 0, 1, 0, 0},
        {"1 x 1 in 1 x 1", 1, 1, 1, 1, false, 0, 0, 0, 0, 1, 0, 0},
        // The odd pixel of a gap goes right and down, offsets stay whole.
        {"centred, odd gaps", 640, 480, 301, 199, false, 5, 5, 169, 141, 1, 0, 0},
        {"1 x 1 centred", 640, 480, 1, 1, false, 0, 0, 319, 240, 1, 0, 0},
        {"wider: pan", 400, 300, 1000, 200, false, 250, 0, -250, 50, 1, 250, 0},
        {"pan past the right edge", 400, 300, 1000, 200, false, 900, 0, -600, 50, 1, 600, 0},
        {"pan before the left edge", 400, 300, 1000, 200, false, -7, 0, 0, 50, 1, 0, 0},
        // Rows count down from the top: pan 0 shows the top, the bottom row then lies below.
        {"taller: top", 300, 400, 200, 1000, false, 0, 0, 50, -600, 1, 0, 0},
        {"taller: bottom", 300, 400, 200, 1000, false, 0, 10000, 50, 0, 1, 0, 600},
        {"fit a wide picture", 400, 300, 1600, 600, true, 9, 9, 0, 75, 0.25f, 9, 9},
        {"fit a tall picture", 400, 300, 300, 600, true, 0, 0, 125, 0, 0.5f, 0, 0},
        {"fit never enlarges", 400, 300, 100, 50, true, 0, 0, 150, 125, 1, 0, 0},
        {"empty view", 0, 0, 10, 10, false, 3, 4, 0, 0, 1, 3, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int32_t panX = c.panX, panY = c.panY;
        const PicturePlacement place = PlacePicture(c.viewWidth, c.viewHeight, c.pictureWidth,
                                                    c.pictureHeight, c.fit, &panX, &panY);
        EXPECT_EQ(place.left, c.wantLeft);
        EXPECT_EQ(place.bottom, c.wantBottom);
        EXPECT_FLOAT_EQ(place.scale, c.wantScale);
        EXPECT_EQ(panX, c.wantPanX);
        EXPECT_EQ(panY, c.wantPanY);
    }
}
