// Fuzz target: the program's road, ReadPicture, over a WebP file in memory, then the
// conversion of its picture to RGBA.
#include <webp/decode.h>

#include "memory_file.h"
#include "picture_check.h"

namespace {

// True for a WebP whose header claims more pixels than this. A lossless picture of one
// colour, or a canvas the frames leave empty, holds its full size in a few dozen bytes by
// design; the fuzzer spends its time on smaller pictures.
bool IsLargeWebp(const uint8_t* data, size_t size)
{
    constexpr uint64_t kMaxPixels = uint64_t(1) << 22;
    WebPBitstreamFeatures features;
    return WebPGetFeatures(data, size, &features) == VP8_STATUS_OK &&
           uint64_t(features.width) * uint64_t(features.height) > kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (IsLargeWebp(data, size))
        return 0;
    // The quiet decode, then the reporting one where it fails.
    OxHolder<OxFile> file(new MemoryFile(data, size));
    CheckDecodedSurface(ReadPicture(file.get()).picture);
    return 0;
}
