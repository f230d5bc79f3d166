// The application object CLumaApp: the picture, the view it is shown in and the glow countdown.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "foundation/assets.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "src/picture_list.h"
#include "src/view.h"
#include "window/window.h"

class OxSurface;
class CWall;
class CTileStock;
class CSnapshotWriter;
struct LoaderEvent;
struct FolderListing;

// The one application object: the picture and the view it is shown in.
class CLumaApp {
public:
    explicit CLumaApp(WindowHandle hwnd);
    virtual ~CLumaApp();
    CLumaApp(const CLumaApp&) = delete;
    CLumaApp& operator=(const CLumaApp&) = delete;

    // Reads a PNG, JPEG or WebP and makes it the picture; true when it did. A failure,
    // or a path longer than `path` holds, leaves the picture, path, sizes and
    // countdown as they were and says why on standard error.
    bool LoadPicture(const char* path);
    // Opens the picture at the path once and reads it for LoadPicture; room is made for it
    // (MakeRoom) once its header is accepted. Null when it cannot be read, with why in
    // *failure, and then RestorePicture brings back what went. *report is the read's report.
    OxSurface* ReadPictureMakingRoom(const char* path, PictureReport* report,
                                     std::string* failure);
    // Makes a picture read (null when it failed, then `failure` says why) the picture shown,
    // as LoadPicture does after its read; true when it did.
    // reuseTiles: the new wall takes over the textures of the wall it replaces, and those
    // made ahead in tileStock. prepared: the picture's wall, made ahead (picture is then
    // null); the wall it replaces is kept among the pictures read ahead.
    bool ShowPicture(const char* path, OxSurface* picture, const PictureReport& report,
                     const std::string& failure, bool reuseTiles = false,
                     std::unique_ptr<CWall> prepared = nullptr);
    // Asks the loader to read the picture off the window's thread (LoadPicture itself when
    // there is no loader); ServeLoads shows it when it comes. reload: F5's read again.
    void RequestPicture(const char* path, bool reload = false);
    // Shows what the loader gave since the last call (headers, previews, pictures and their
    // failures); true when anything came.
    bool ServeLoads();
    // From the loader's thread, once a new picture's header is accepted: with GLSL the old
    // picture goes (the wall keeps it shown).
    void MakeRoomBeside();
    // Shows a reduced picture, stretched to the header's size, in place of the wall.
    void ShowPreview(const LoaderEvent& event);
    // Makes the tile textures a new picture of the header's size needs beyond those of the
    // wall shown, while it decodes.
    void MakeTilesAhead();
    // Gives the shown window the size of the header just read (a reload only when the size
    // changed), so that its new buffers are made while the pixels decode.
    void SizeForHeader(bool reload);
    // After a read that failed: the window's size and the pan from before SizeForHeader.
    void UndoSizeForHeader();
    // The wall shown before a preview comes back, with its sizes.
    void PutPreviewAway();
    // A window kept hidden until its first picture is there is shown, and drawn at once.
    void ShowWindowNow();
    // Lets the old picture (with GLSL) or its wall (without) go before a new one is decoded.
    void MakeRoom();
    // Deletes the wall's textures and hands their memory back to the system.
    void ReleaseWall();
    // After a failed read: source again from the wall, or the wall again from source, as
    // the last load or pass made them.
    void RestorePicture();
    // Sets the view, rebuilds the device state and the renderer, reads the
    // picture again; the picture shown stays when the read fails.
    void Reload(int width, int height);
    // Holds a key press for the next update; presses of keys that do nothing,
    // and repeats of keys that do not repeat, are dropped.
    void QueueKey(const KeyPress& press);
    // Acts on the queued key presses in the order they came; true when any acted.
    bool ApplyKeys();
    // Once per update: the queued keys, the countdown and the processor-side pass.
    void Update();
    // The next turn of the loop draws a frame.
    void Invalidate() { needsRedraw = true; }
    // The countdown still runs, so updates (and frames) must go on.
    bool CountdownRunning() const;
    // Something is to be drawn or updated: the loop must not wait for events.
    bool NeedsFrame() const;
    // Nothing is left to draw until the next event: the memory the frames used and freed
    // is handed back to the system.
    void Rest();
    // Serves a pending snapshot request, then clears and draws the wall.
    void DrawFrame();
    // Draws the whole picture off screen and queues it for writing as the next snapshot.
    void SaveSnapshot();
    void DrawScene();
    // One unit per pixel, the origin at the view's lower left corner, then the
    // picture placed by PlacePicture (one unit per picture pixel from there).
    void SetupView();
    // Moves the picture right by dx and down by dy view pixels, within its edges.
    void PanBy(int dx, int dy);
    // Switches between the whole picture fitted to the view and one texel per pixel.
    void ToggleFit();
    // Zooms one step in (direction > 0) or out, keeping the picture point under the view
    // point (x, y), counted from the view's top left corner, where it is.
    void ZoomAt(int x, int y, int direction);
    // Zooms one step around the middle of the view.
    void ZoomBy(int direction) { ZoomAt(viewWidth / 2, viewHeight / 2, direction); }
    // Where the picture lies in the view now; the pan is clamped into the picture.
    PicturePlacement Placement();
    // View pixels a picture pixel now, fitted or zoomed.
    float ShownScale() const;
    // A new picture of width x height opens at one texel per pixel from its top left
    // corner, or fitted when it is larger than the largest window the work area allows.
    void StartView(int width, int height);
    // Replaces the wall with one built from the PF_RGBA surface.
    void UploadWall(const OxSurface* surface);
    void UpdateTitle(WindowHandle hwnd);
    // What the title shows after the glow settings: " - " and the name of the picture shown
    // and its place in the list, "" when it is not from the list.
    std::string TitleTail() const;

    // Paging through pictures (browsing.cpp). The files named (a drop, the command line): one
    // file gives its folder's pictures starting at it, one folder its pictures, several files
    // those. firstRequested: the first picture was asked for already.
    void BrowseFiles(const std::vector<std::string>& paths, bool firstRequested = false);
    // Page Down / Page Up: `step` places on; at either end nothing moves and the folder is
    // listed again for the next time.
    void BrowseStep(int step);
    // Home (+1) and End (-1): the first or the last picture.
    void BrowseJump(int direction);
    // Lists the folder of the list again (F5), off the window's thread where it can.
    void RelistFolder();
    // Takes a folder listing that waits, if any; true when one was taken.
    bool ServeListings();
    // Asks for the picture at the index of the list being paged through; one that cannot be
    // read is passed over in the direction of travel.
    void RequestBrowsed(int index);
    // A read of path ended (loaded or not): the list takes it as shown, or passes over it.
    // The index to ask for next, -1 when none.
    int AfterBrowsedLoad(const std::string& path, bool loaded);
    // The pictures of a listed folder replace its list's.
    void TakeListing(const FolderListing& listing);
    // Shows a picture read (null when it failed: opened and report say why) as a load does,
    // sizes the window for it, and passes over it when it is of the list and failed.
    void ShowRead(const std::string& path, OxSurface* picture, const PictureReport& report,
                  OpenProblem opened, bool reload, std::unique_ptr<CWall> prepared = nullptr);
    // The wall of the picture shown (its own texels, not a glow made by the processor), kept
    // among the pictures read ahead when a wall made ahead replaces it: moving back then
    // shows it at once. ReadAhead lets it go when it is no neighbour.
    void KeepWallAhead(const std::string& path, std::unique_ptr<CWall> kept,
                       const PictureReport& report);
    // The wall of a picture read ahead, made on the window's thread; null when it cannot be.
    std::unique_ptr<CWall> MakeWallAhead(OxSurface* picture);
    // Reading ahead: the neighbours of the picture shown are read beside the window (g_ahead),
    // one on each side at most, and those of pictures moved away from are released. Nothing is
    // read ahead when memory runs low. ReadAhead leaves it to ServeLoads, once the frame that
    // shows the picture is drawn: a read started at once would slow that frame down.
    void ReadAhead() { readAheadDue = true; }
    void UpdateReadsAhead();
    // Takes what the reads ahead gave; true when anything was taken.
    bool ServeAhead();
    // Shows the picture read ahead for that path, if there is one; true when it did.
    bool ShowAhead(const std::string& path);
    // The list being paged through: the newer one while its first picture is still to come.
    CPictureList& Browsed() { return newPictures ? *newPictures : pictures; }
    // Replaces the wall with a copy of source that has the glow applied.
    void RunGlowPass();

    char path[256] = {};
    // The list being paged through, and a newer one (a drop, the command line) whose first
    // picture is still to come: it replaces the list once that picture is shown, and goes
    // if none of its pictures can be.
    CPictureList pictures;
    // Pictures made the picture shown so far (reloads included).
    uint64_t picturesShown = 0;
    std::unique_ptr<CPictureList> newPictures;
    // Pictures read ahead, by path: with the GLSL program their walls, made while the user
    // looks (a key then only shows them), otherwise the pictures; neither is one that could
    // not be read.
    struct AheadPicture {
        std::string path;
        OxHolder<OxSurface> picture;
        PictureReport report;
        std::unique_ptr<CWall> wall;
        bool Readable() const { return picture || wall; }
    };
    std::vector<AheadPicture> ahead;
    // What the read of the picture shown reported (a wall kept ahead keeps it).
    PictureReport lastReport = {PICTURE_FINE, 0, 0};
    std::string aheadAsked;  // being read ahead
    bool readAheadDue = false;
    // A move past an end listed the folder again: the move made once the listing comes.
    int stepAfterListing = 0;
    std::unique_ptr<CWall> wall;
    OxHolder<OxSurface> source;
    // The wall was made by the processor-side pass, not from source itself.
    bool wallShowsGlow = false;
    WindowHandle hwnd;
    int32_t countdown = -1;
    int32_t viewWidth = 0;
    int32_t viewHeight = 0;
    int32_t pictureWidth = 256;
    int32_t pictureHeight = 256;
    bool needsRedraw = true;
    std::deque<KeyPress> pendingKeys;
    // The view pixel column and row of the zoomed picture at the view's top left corner
    // while it is larger than the view (picture pixels at one texel per pixel); kept
    // within the picture by PlacePicture.
    int32_t panX = 0;
    int32_t panY = 0;
    bool fitToWindow = false;
    // View pixels a picture pixel when not fitted: one of the zoom steps.
    float zoom = 1.0f;
    // Mouse position of a drag that pans the picture; dragging while true.
    bool dragging = false;
    int32_t dragX = 0;
    int32_t dragY = 0;
    // Reading off the window's thread: the sides of the newest header, the window kept
    // hidden until there is a picture to show, a preview on the wall and the wall it put
    // aside (with the sizes shown before it).
    int32_t headerWidth = 0;
    int32_t headerHeight = 0;
    bool windowHidden = false;
    bool previewShown = false;
    std::unique_ptr<CWall> previousWall;
    // Tile textures made while the picture decodes, for its wall.
    std::unique_ptr<CTileStock> tileStock;
    int32_t widthBeforePreview = 0;
    int32_t heightBeforePreview = 0;
    // The window took the size of a header whose picture is still decoding; the client size
    // and pan it had before, given back if that read fails.
    bool sizedForHeader = false;
    int32_t clientWidthBeforeHeader = 0;
    int32_t clientHeightBeforeHeader = 0;
    int32_t panXBeforeHeader = 0;
    int32_t panYBeforeHeader = 0;
    // How the picture shown before a preview was fitted, zoomed and panned.
    bool fitBeforePreview = false;
    float zoomBeforePreview = 1.0f;
    int32_t panXBeforePreview = 0;
    int32_t panYBeforePreview = 0;
    // Encodes and writes snapshots beside the frames; done with them when destroyed.
    std::unique_ptr<CSnapshotWriter> snapshots;
};
