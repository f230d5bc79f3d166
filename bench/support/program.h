// The program driven from a benchmark, under a display: started as glowview starts, the
// frame loop's serving and drawing, its end, and the cheapest frame of a picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/surface.h"
#include "window/window.h"

// Starts the program as `glowview FILES...` does (an empty start without files) and runs
// its loop until `shown` is the picture on the screen, its frame drawn and finished (for an
// empty start: the first frame). False when there is no window or the picture never came.
bool StartProgram(const std::vector<std::string>& files, const std::string& shown);

// The frame loop's part that serves the loader and draws what changed, until the picture at
// `path` is the one shown (or, with preview, its preview is), with its frame finished.
bool ServeUntilShown(const std::string& path, bool preview);

// Ends the program started by StartProgram, its window included.
void EndProgram();

// Pumps the window's events until its client area is width x height (5 s at most); true
// when it is.
bool WaitForSize(WindowHandle window, int width, int height);

// The application's view as a drop of the picture gives it: the picture's size, or the
// largest the screen's work area allows, with the picture at one texel per pixel from its
// top left corner, or fitted when it is larger than that.
void ViewPicture(int width, int height);

// No picture, in the window a picture of width x height gets, its colour, depth and
// stencil buffers made and touched at that size, and the heap's free memory handed back:
// the state the memory benchmarks count from.
void ShowEmptyWindowFor(int width, int height);

// A line of /proc/self/status in kB (VmRSS, VmHWM), or -1.
long StatusKilobytes(const char* key);

// Starts the peak (VmHWM) over from the resident size now.
void ResetPeak();

// One quad of the picture's size, textured with the whole picture as one texture, drawn
// through the program's own renderer: the least a frame of that picture can cost.
class COneQuadFrame {
public:
    explicit COneQuadFrame(const OxSurface* picture);
    ~COneQuadFrame();
    COneQuadFrame(const COneQuadFrame&) = delete;
    COneQuadFrame& operator=(const COneQuadFrame&) = delete;
    // Draws the frame and waits until it is drawn.
    void Draw();

private:
    uint32_t texture_ = 0;
    float width_;
    float height_;
};
