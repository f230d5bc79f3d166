// Fuzz target: ReadJpeg and the program's road, ReadPicture, over bytes in memory, then the
// conversion to RGBA.
#include "memory_file.h"
#include "picture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (IsLargeArithmeticJpeg(data, size))
        return 0;
    OxHolder<OxFile> file(new MemoryFile(data, size));
    CheckDecodedSurface(ReadJpeg(file.get()));
    // The program's own road: the quiet decode, then the reporting one where it fails.
    OxHolder<OxFile> again(new MemoryFile(data, size));
    CheckDecodedSurface(ReadPicture(again.get()).picture);
    return 0;
}
