// Snapshots of the whole picture: drawn off screen, then encoded and written on a thread of their own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class OxSurface;
class CWall;

// Reads back the frame the device has drawn as top-down RGB rows; returns
// width x height x 3. A null buffer or a size <= 0 reads no pixels.
int ReadWindowPixels(int* width, uint8_t* buffer, int bufferSize, int* height);
// The window's current frame as a new PF_RGB surface, or null.
OxSurface* CaptureWindow();
// Writes the window's current frame to the file, always as PNG.
void SavePicture(const char* fileName);

// The picture of width x height drawn as the window draws it at one texel per pixel,
// with the current glow (the wall, or only the clear colour without one), as a new
// PF_RGB surface with top-down rows; null when it cannot be drawn or held. It is drawn
// off screen in bands of at most maxBandSide pixels a side (<= 0: as large as the
// driver allows), into a render target where the driver has them, else into the back
// buffer, which the caller must draw again. Needs the GL context.
OxSurface* RenderWholePicture(const CWall* wall, int width, int height, int maxBandSide = 0);

// The lowest "snapshot%d.png" in the current directory that names nothing yet, a
// directory or a dangling link included; false when every number is taken.
bool FindFreeSnapshotName(char* name, size_t size);

// Writes the PF_RGB picture as the next free "snapshot%d.png": encoded under a
// temporary name in the same directory, then given its name, so that no one ever
// sees a partial snapshot. Sets name to the file's name; false, with nothing left
// behind and the reason in error, when it cannot be written.
bool WriteSnapshotFile(const OxSurface* picture, std::string* name, std::string* error);

// Writes snapshots in the order they were asked for on a thread of its own, so that
// frames go on while a picture is encoded. Reports each on standard output (saved)
// or standard error (failed).
class CSnapshotWriter {
public:
    CSnapshotWriter() = default;
    // Writes every snapshot still queued before it returns.
    ~CSnapshotWriter();
    CSnapshotWriter(const CSnapshotWriter&) = delete;
    CSnapshotWriter& operator=(const CSnapshotWriter&) = delete;

    // Queues the PF_RGB picture, taking over the caller's reference. Waits only while
    // the pictures already queued hold more than kMaxQueuedBytes.
    void Save(OxSurface* picture);
    // Waits until every queued snapshot is written or has failed.
    void Finish();

    static constexpr int64_t kMaxQueuedBytes = int64_t(1) << 30;

private:
    void Run();
    // Starts the writing thread unless it runs; false, with the reason, when it cannot.
    bool StartThread(std::string* reason);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<OxSurface*> queue_;
    int64_t queuedBytes_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
