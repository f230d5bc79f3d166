// Fuzz target: ReadJpeg over bytes in memory, then the conversion of its picture to RGBA.
#include "memory_file.h"
#include "picture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (IsLargeArithmeticJpeg(data, size))
        return 0;
    OxHolder<OxFile> file(new MemoryFile(data, size));
    CheckDecodedSurface(ReadJpeg(file.get()));
    return 0;
}
