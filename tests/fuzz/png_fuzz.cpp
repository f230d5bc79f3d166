// Fuzz target: ReadPng and the program's road, ReadPicture, over bytes in memory, then the
// conversion of their pictures to RGBA. Chunk checksums are set right first, so that mutations reach the
// decoder instead of ending at the first checksum test.
#include <vector>

#include <zlib.h>

#include "memory_file.h"
#include "picture_check.h"

namespace {

uint32_t ReadBe32(const uint8_t* at)
{
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}

void FixChunkChecksums(std::vector<uint8_t>& bytes)
{
    size_t at = 8;  // after the signature
    while (at + 12 <= bytes.size()) {
        const size_t length = ReadBe32(&bytes[at]);
        if (length > bytes.size() - at - 12)
            return;
        const uLong crc = crc32(0L, &bytes[at + 4], uInt(length + 4));
        uint8_t* out = &bytes[at + 8 + length];
        out[0] = uint8_t(crc >> 24);
        out[1] = uint8_t(crc >> 16);
        out[2] = uint8_t(crc >> 8);
        out[3] = uint8_t(crc);
        at += length + 12;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    FixChunkChecksums(bytes);
    OxHolder<OxFile> file(new MemoryFile(bytes.data(), bytes.size()));
    CheckDecodedSurface(ReadPng(file.get()));
    // The program's own road: the quiet decode, then the reporting one where it fails.
    OxHolder<OxFile> again(new MemoryFile(bytes.data(), bytes.size()));
    CheckDecodedSurface(ReadPicture(again.get()).picture);
    return 0;
}
