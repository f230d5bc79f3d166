// EXIF orientation: the TIFF block of a JPEG's APP1 segment or a PNG's eXIf chunk, read
// only as far as IFD0's Orientation tag, every offset checked against the block's end.
#include "foundation/exif.h"

#include <cstring>

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kTiffHeaderBytes = 8;
constexpr size_t kIfdEntryBytes = 12;

// Reads numbers in the block's byte order; the caller has checked the bounds.
struct TiffOrder {
    bool bigEndian;

    uint16_t Get16(const uint8_t* at) const
    {
        return bigEndian ? uint16_t(at[0] << 8 | at[1]) : uint16_t(at[1] << 8 | at[0]);
    }
    uint32_t Get32(const uint8_t* at) const
    {
        return bigEndian ? uint32_t(Get16(at)) << 16 | Get16(at + 2)
                         : uint32_t(Get16(at + 2)) << 16 | Get16(at);
    }
};

uint16_t BigEndian16(const uint8_t* at)
{
    return uint16_t(at[0] << 8 | at[1]);
}

uint32_t BigEndian32(const uint8_t* at)
{
    return uint32_t(BigEndian16(at)) << 16 | BigEndian16(at + 2);
}

}  // namespace

int ExifOrientation(const uint8_t* tiff, size_t size)
{
    if (tiff == nullptr || size < kTiffHeaderBytes)
        return kOrientationUpright;
    TiffOrder order{};
    if (tiff[0] == 'M' && tiff[1] == 'M')
        order.bigEndian = true;
    else if (tiff[0] != 'I' || tiff[1] != 'I')
        return kOrientationUpright;
    if (order.Get16(tiff + 2) != 42)
        return kOrientationUpright;
    const uint32_t ifd = order.Get32(tiff + 4);
    // Compared as sizes, never added, so no offset can wrap.
    if (ifd > size || size - ifd < 2)
        return kOrientationUpright;
    const size_t entries = order.Get16(tiff + ifd);
    const size_t room = (size - ifd - 2) / kIfdEntryBytes;
    // A directory cut short is read as far as it goes.
    const size_t count = entries < room ? entries : room;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = tiff + ifd + 2 + i * kIfdEntryBytes;
        if (order.Get16(entry) != kOrientationTag)
            continue;
        if (order.Get16(entry + 2) != kTypeShort || order.Get32(entry + 4) != 1)
            return kOrientationUpright;
        // One SHORT sits in the first two bytes of the value field.
        const int value = order.Get16(entry + 8);
        return value >= 1 && value <= 8 ? value : kOrientationUpright;
    }
    return kOrientationUpright;
}

int JpegExifOrientation(const uint8_t* bytes, size_t size)
{
    static const uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (bytes == nullptr || size < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8)
        return kOrientationUpright;
    size_t at = 2;
    // Segments up to the start of the image data; each is FF, its marker, a length.
    while (size - at >= 4) {
        if (bytes[at] != 0xFF)
            return kOrientationUpright;
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)  // start of scan, end of image
            return kOrientationUpright;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        const size_t length = BigEndian16(bytes + at + 2);
        if (length < 2 || length > size - at - 2)
            return kOrientationUpright;
        const uint8_t* body = bytes + at + 4;
        const size_t bodySize = length - 2;
        if (marker == 0xE1 && bodySize >= sizeof(kExifName) &&
            std::memcmp(body, kExifName, sizeof(kExifName)) == 0)
            return ExifOrientation(body + sizeof(kExifName), bodySize - sizeof(kExifName));
        at += 2 + length;
    }
    return kOrientationUpright;
}

int PngExifOrientation(const uint8_t* bytes, size_t size)
{
    constexpr size_t kSignatureBytes = 8;
    constexpr size_t kChunkFrameBytes = 12;  // length, type, and the CRC after the data
    if (bytes == nullptr || size < kSignatureBytes)
        return kOrientationUpright;
    size_t at = kSignatureBytes;
    // Only chunk headers are read, so walking the image data costs a jump per chunk.
    while (size - at >= kChunkFrameBytes) {
        const uint32_t length = BigEndian32(bytes + at);
        const uint8_t* type = bytes + at + 4;
        if (length > size - at - kChunkFrameBytes || std::memcmp(type, "IEND", 4) == 0)
            return kOrientationUpright;
        if (std::memcmp(type, "eXIf", 4) == 0)
            return ExifOrientation(bytes + at + 8, length);
        at += kChunkFrameBytes + length;
    }
    return kOrientationUpright;
}
