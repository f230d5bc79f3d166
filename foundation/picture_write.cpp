// The PNG, BMP and JPEG writers.
#include <climits>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "foundation/jpeg_errors.h"
#include "foundation/log.h"
#include "foundation/picture_codec.h"

namespace {

// libpng's callbacks of a write: one log line, and an error jumps back.
void PngWriteError(png_structp png, png_const_charp message)
{
    LogMessage(__LINE__, "", LOG_ERROR, "%s", message);
    png_longjmp(png, 1);
}

void PngWriteWarning(png_structp, png_const_charp message)
{
    LogMessage(__LINE__, "", LOG_WARNING, "%s", message);
}

// Everything one PNG write owns.
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~PngWriter()
    {
        if (png != nullptr)
            png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    }
};

bool EncodePng(PngWriter& writer, int width, int height, const uint8_t* pixels,
               std::FILE* stream)
{
    png_structp png = writer.png;
    png_infop info = writer.info;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_init_io(png, stream);
    // Snapshots are written while the user waits: one filter (Paeth) and run-length
    // matching encode many times faster than libpng's defaults (every filter tried per
    // row, zlib level 6), with files a few percent larger (bench/foundation/png_write_bench).
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t rowBytes = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        png_write_row(png, pixels + size_t(y) * rowBytes);
    png_write_end(png, info);
    return true;
}

// Everything one JPEG encode owns.
struct JpegWriter {
    jpeg_compress_struct cinfo{};
    JpegErrorManager errors{};

    ~JpegWriter() { jpeg_destroy_compress(&cinfo); }
};

bool EncodeJpeg(JpegWriter& writer, OxSurface* surface, JSAMPARRAY rows, std::FILE* stream)
{
    jpeg_compress_struct* cinfo = &writer.cinfo;
    cinfo->err = InitJpegErrorManager(&writer.errors);
    if (setjmp(writer.errors.recovery))
        return false;

    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, stream);
    cinfo->image_width = JDIMENSION(surface->width);
    cinfo->image_height = JDIMENSION(surface->height);
    const bool rgb = surface->format == PF_RGB;
    cinfo->input_components = rgb ? 3 : 1;
    cinfo->in_color_space = rgb ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 50, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION done = cinfo->next_scanline;
        if (jpeg_write_scanlines(cinfo, rows + done, cinfo->image_height - done) == 0)
            return false;
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// Rows of packed RGB pixels: null pixels only for an empty picture, and the
// byte count of width * 3 * height within an int.
bool ValidRgbPicture(int width, int height, const uint8_t* pixels)
{
    if (width < 0 || height < 0 || width > INT_MAX / 3 || StoreSize(height, int64_t(width) * 3) < 0)
        return false;
    return pixels != nullptr || width == 0 || height == 0;
}

void PutLe16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void PutLe32(uint8_t* at, uint32_t value)
{
    PutLe16(at, value);
    PutLe16(at + 2, value >> 16);
}

}  // namespace

int WritePng(int width, int height, const uint8_t* pixels, std::FILE* stream)
{
    if (stream == nullptr || !ValidRgbPicture(width, height, pixels))
        return -1;
    PngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
    if (writer.png == nullptr)
        return -1;
    writer.info = png_create_info_struct(writer.png);
    if (writer.info == nullptr || !EncodePng(writer, width, height, pixels, stream))
        return -1;
    return 0;
}

int WriteBmp(std::FILE* stream, int width, int height, const uint8_t* pixels, int pitch)
{
    if (stream == nullptr || !ValidRgbPicture(width, height, pixels))
        return -1;
    const int64_t rowSize = (int64_t(width) * 3 + 3) / 4 * 4;
    const int pixelBytes = StoreSize(height, rowSize);
    if (pixelBytes < 0 || pixelBytes > INT_MAX - 54)
        return -1;
    if (pitch <= 0)
        pitch = width * 3;
    // Rows shorter than a row of pixels would make us read past the caller's block.
    if (pitch < width * 3)
        return -1;

    uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    PutLe32(header + 2, uint32_t(pixelBytes + 54));
    PutLe32(header + 10, 54);
    PutLe32(header + 14, 40);
    PutLe32(header + 18, uint32_t(width));
    PutLe32(header + 22, uint32_t(height));
    PutLe16(header + 26, 1);
    PutLe16(header + 28, 24);
    if (std::fwrite(header, 1, 14, stream) != 14 || std::fwrite(header + 14, 1, 40, stream) != 40)
        return -1;

    std::vector<uint8_t> row;
    if (!ResizeBuffer(row, size_t(rowSize), nullptr))
        return -1;
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* source = width > 0 ? pixels + size_t(y) * size_t(pitch) : nullptr;
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = source[size_t(x) * 3 + 2];
            row[size_t(x) * 3 + 1] = source[size_t(x) * 3 + 1];
            row[size_t(x) * 3 + 2] = source[size_t(x) * 3 + 0];
        }
        if (std::fwrite(row.data(), 1, row.size(), stream) != row.size())
            return -1;
    }
    return 0;
}

int WriteJpeg(int width, int height, const uint8_t* pixels, int pitch, std::FILE* stream)
{
    // A JPEG cannot hold an empty picture.
    if (stream == nullptr || width <= 0 || height <= 0 || !ValidRgbPicture(width, height, pixels))
        return -1;
    // libjpeg takes rows it may not write to as non-const, so it gets a packed copy.
    const int packedPitch = width * 3;
    if (pitch <= 0)
        pitch = packedPitch;
    OxHolder<OxSurface> surface(
        CreateSurface(height * packedPitch, width, height, PF_RGB, packedPitch));
    std::vector<JSAMPROW> rows;
    if (!surface || !ResizeBuffer(rows, size_t(height), nullptr))
        return -1;
    const size_t copyBytes = size_t(pitch < packedPitch ? pitch : packedPitch);
    for (int i = 0; i < height; ++i) {
        rows[size_t(i)] = surface->writePixels + size_t(i) * size_t(packedPitch);
        std::memcpy(rows[size_t(i)], pixels + size_t(i) * size_t(pitch), copyBytes);
    }
    JpegWriter writer;
    return EncodeJpeg(writer, surface.get(), rows.data(), stream) ? 0 : -1;
}
