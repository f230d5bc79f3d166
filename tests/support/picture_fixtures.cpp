// Pictures the tests make: JPEGs written with libjpeg, EXIF blocks put into files.
#include "picture_fixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <csetjmp>

#include <jpeglib.h>
#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& bytes, bool bigEndian, uint16_t value)
{
    const uint8_t high = uint8_t(value >> 8);
    const uint8_t low = uint8_t(value);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
}

void Put32(Bytes& bytes, bool bigEndian, uint32_t value)
{
    Put16(bytes, bigEndian, uint16_t(bigEndian ? value >> 16 : value));
    Put16(bytes, bigEndian, uint16_t(bigEndian ? value : value >> 16));
}

struct EncodeErrors {
    jpeg_error_mgr standard;
    std::jmp_buf recovery;
};

void EncodeError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<EncodeErrors*>(cinfo->err)->recovery, 1);
}

// All libjpeg calls of one encode; the compressor is created and destroyed by the caller.
bool Encode(jpeg_compress_struct& cinfo, int width, int height, const uint8_t* pixels,
            TestJpegKind kind, unsigned char** out, unsigned long* size)
{
    EncodeErrors* errors = reinterpret_cast<EncodeErrors*>(cinfo.err);
    if (setjmp(errors->recovery))
        return false;
    jpeg_mem_dest(&cinfo, out, size);
    const bool rgb = kind == TestJpegKind::Rgb;
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = rgb ? 3 : 4;
    cinfo.in_color_space = rgb ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    if (kind == TestJpegKind::YcckAdobe)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    for (int c = 0; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.write_Adobe_marker = kind == TestJpegKind::CmykPlain ? FALSE : cinfo.write_Adobe_marker;
    jpeg_start_compress(&cinfo, TRUE);
    const size_t pitch = size_t(width) * size_t(cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels + cinfo.next_scanline * pitch);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

Bytes TestTiff::Build() const
{
    Bytes bytes = {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')};
    Put16(bytes, bigEndian, 42);
    Put32(bytes, bigEndian, ifdOffset);
    Put16(bytes, bigEndian, entries);
    Put16(bytes, bigEndian, 0x0100);  // ImageWidth, one LONG
    Put16(bytes, bigEndian, 4);
    Put32(bytes, bigEndian, 1);
    Put32(bytes, bigEndian, 640);
    Put16(bytes, bigEndian, 0x0112);  // Orientation
    Put16(bytes, bigEndian, type);
    Put32(bytes, bigEndian, count);
    Put16(bytes, bigEndian, value);
    Put16(bytes, bigEndian, 0);
    Put32(bytes, bigEndian, 0);  // no next IFD
    return bytes;
}

Bytes WithJpegExif(const Bytes& jpeg, const Bytes& tiff)
{
    const size_t length = tiff.size() + 8;
    Bytes segment = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length), 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    const size_t afterStart = std::min<size_t>(2, jpeg.size());
    Bytes out(jpeg.begin(), jpeg.begin() + long(afterStart));
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + long(afterStart), jpeg.end());
    return out;
}

Bytes WithPngExif(const Bytes& png, const Bytes& tiff)
{
    Bytes chunk;
    Put32(chunk, true, uint32_t(tiff.size()));
    chunk.insert(chunk.end(), {'e', 'X', 'I', 'f'});
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    const uLong crc = crc32(0, chunk.data() + 4, uInt(chunk.size() - 4));
    Put32(chunk, true, uint32_t(crc));
    const size_t afterHeader = std::min<size_t>(33, png.size());
    Bytes out(png.begin(), png.begin() + long(afterHeader));
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + long(afterHeader), png.end());
    return out;
}

Bytes EncodeTestJpeg(int width, int height, const uint8_t* pixels, TestJpegKind kind)
{
    jpeg_compress_struct cinfo{};
    EncodeErrors errors{};
    cinfo.err = jpeg_std_error(&errors.standard);
    errors.standard.error_exit = EncodeError;
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool done = Encode(cinfo, width, height, pixels, kind, &out, &size);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes;
    if (done && out != nullptr)
        bytes.assign(out, out + size);
    std::free(out);
    return bytes;
}
