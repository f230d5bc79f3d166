// Fuzz target: the EXIF orientation over the input as a TIFF block, and as a JPEG or PNG
// file whose block is looked for; every answer is one of the eight orientations.
#include <cstdlib>

#include "foundation/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int found[] = {ExifOrientation(data, size), JpegExifOrientation(data, size),
                         PngExifOrientation(data, size)};
    for (const int orientation : found) {
        if (orientation < 1 || orientation > 8)
            std::abort();
    }
    return 0;
}
