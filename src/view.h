// The view: where the picture lies in the window, panning, fitting and zooming it, and drawing it.
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
// is clamped into the picture and written back); with fit, scaled down to fit whole,
// else drawn `zoom` view pixels a picture pixel. The pan counts view pixels from the
// scaled picture's top left corner to the view's. Offsets are whole pixels, so at
// zoom 1 every texel lands on one pixel.
PicturePlacement PlacePicture(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight,
                              bool fit, float zoom, int32_t* panX, int32_t* panY);

// The scale that shows the whole picture in the view: at most 1, never enlarged.
float FitScale(int viewWidth, int viewHeight, int pictureWidth, int pictureHeight);

// The zoom steps, smallest to largest; 1 (one texel per pixel) is among them.
extern const float kZoomSteps[];
extern const int kZoomStepCount;

// The next zoom step above `scale` (direction > 0) or below it (direction < 0); at either
// end of the steps the end step, and `scale` itself when it lies beyond that end already.
float NextZoomStep(float scale, int direction);

// The pan that keeps the picture point under the view point (x, y), counted in view pixels
// from the view's top left corner, where it is when the picture goes from its placement
// `before` to `zoom` view pixels a picture pixel. Written to *panX, *panY unclamped:
// PlacePicture clamps it.
void KeepPointAtZoom(int x, int y, int viewHeight, int pictureHeight,
                     const PicturePlacement& before, float zoom, int32_t* panX, int32_t* panY);

// The zoom as the title shows it, " 37%", or "" at one texel per pixel.
void ZoomTitleSuffix(float scale, char* text, int size);
