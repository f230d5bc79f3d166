// Fuzz target: DecodeJpegMemory straight over the input bytes.
#include <climits>

#include "picture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(INT_MAX) || IsLargeArithmeticJpeg(data, size))
        return 0;
    CheckDecodedSurface(DecodeJpegMemory(data, int(size)));
    return 0;
}
