// The view: where the picture lies in the window, panning and fitting it, and drawing it.
#pragma once

#include <cstdint>

// Where the picture lies in the view: its lower left corner at (left, bottom) in view
// pixels (y up) and one picture pixel `scale` view pixels wide.
struct PicturePlacement {
    int left;
    int bottom;
    float scale;
};

// Places a picture in a view: centred where it fits, else shifted by the pan (which
// is clamped into the picture and written back); with fit, scaled down to fit whole.
// Offsets are whole pixels, so at scale 1 every texel lands on one pixel.
PicturePlacement PlacePicture(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight,
                              bool fit, int32_t* panX, int32_t* panY);
