// The PNG decoder: one sequence of libpng calls for the quiet and the reporting read.
#include <climits>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

#include "foundation/log.h"
#include "foundation/picture_codec.h"

namespace {

// Where the PNG's bytes come from: the file, or bytes already in memory.
struct PngInput {
    OxFile* file = nullptr;
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t position = 0;

    // Bytes left after the current position, or -1 when that cannot be told.
    int64_t Left() const
    {
        if (file == nullptr)
            return int64_t(size - position);
        const int64_t total = file->GetSize();
        const int64_t at = file->Tell();
        return total < 0 || at < 0 || at > total ? -1 : total - at;
    }

    bool Read(uint8_t* data, size_t length)
    {
        if (file != nullptr)
            return length <= size_t(INT_MAX) && file->Read(data, int(length)) == int(length);
        if (length > size - position)
            return false;
        std::memcpy(data, bytes + position, length);
        position += length;
        return true;
    }
};

// Everything one PNG read owns; released on every way out, the error jump included.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    OxSurface* surface = nullptr;
    std::vector<png_bytep> rows;
    ReadContext* context = nullptr;
    PngInput input;
    int warnings = 0;

    ~PngReader()
    {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        OxRelease(surface);
    }
};

// libpng's error callback: noted (and logged when reporting), then back to the recovery point.
void PngError(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    reader->context->Fail(PICTURE_DAMAGED, message);
    png_longjmp(png, 1);
}

// A warning is logged when reporting; a quiet read only counts it, and fails for it.
void PngWarning(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
    ++reader->warnings;
    if (!reader->context->Quiet())
        LogMessage(__LINE__, "", LOG_WARNING, "%s", message);
}

void PngRead(png_structp png, png_bytep data, size_t length)
{
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    // libpng asks for its data a chunk at a time: the place to stop a read no longer wanted.
    if (reader->context->Cancelled())
        png_longjmp(png, 1);
    if (!reader->input.Read(data, length)) {
        reader->context->Note(PICTURE_TRUNCATED);
        png_error(png, "PNG_READ_ERROR");
    }
}

// First palette entry that tRNS makes fully transparent, or -1.
int PaletteColorKey(png_structp png, png_infop info)
{
    png_bytep alpha = nullptr;
    int count = 0;
    png_color_16p unusedColor = nullptr;
    if (png_get_tRNS(png, info, &alpha, &count, &unusedColor) == 0 || alpha == nullptr)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (alpha[i] == 0)
            return i;
    }
    return -1;
}

// Asks libpng for 8-bit samples; returns the surface format, 0 if none. Quiet, every
// kind but a palette comes as RGBA (the alpha that ConvertPixels would add); a palette
// is left to the reporting read.
int RequestTransforms(png_structp png, int colorType, int bitDepth, bool rgba)
{
    png_set_interlace_handling(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (!rgba)
            return PF_GREY;
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        return PF_RGBA;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        return PF_RGBA;
    case PNG_COLOR_TYPE_RGB:
        if (!rgba)
            return PF_RGB;
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        return PF_RGBA;
    case PNG_COLOR_TYPE_PALETTE:
        if (rgba)
            return 0;
        if (bitDepth < 8)
            png_set_packing(png);
        return PF_INDEXED;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return PF_RGBA;
    default:
        return 0;
    }
}

bool CopyPalette(png_structp png, png_infop info, OxSurface* surface)
{
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &palette, &count) == 0 || palette == nullptr)
        count = 0;
    if (count < 0 || count > 256)
        return false;
    surface->paletteCount = count;
    surface->paletteStore.resize(size_t(count) * 3);  // never larger than the 256 entries made
    for (int i = 0; i < count; ++i) {
        surface->paletteStore[size_t(i) * 3 + 0] = palette[i].red;
        surface->paletteStore[size_t(i) * 3 + 1] = palette[i].green;
        surface->paletteStore[size_t(i) * 3 + 2] = palette[i].blue;
    }
    surface->colorKey = PaletteColorKey(png, info);
    return true;
}

// Chunks past the ones the reader uses (IHDR, PLTE, tRNS, IDAT, IEND) are
// skipped unread, so no text, profile or other ancillary chunk is buffered or
// inflated, whatever length it claims. libpng's own side limits (a million pixels
// by default) are lifted to the format's: the reader's limits decide, and a
// picture past them is reported as too large.
void LimitPngReader(png_structp png)
{
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_chunk_malloc_max(png, png_alloc_size_t(1) << 20);
}

// Deflate turns one byte into at most 1032; image data that the rest of the
// input cannot hold is refused before its pixel store is made.
bool PngDataCanFit(PngReader& reader)
{
    const int64_t left = reader.input.Left();
    if (left < 0)
        return true;  // nothing to tell; the read itself fails on a short file
    const uint64_t rawBytes = uint64_t(png_get_image_height(reader.png, reader.info)) *
                              (uint64_t(png_get_rowbytes(reader.png, reader.info)) + 1);
    if (rawBytes <= uint64_t(left + 1) * 1032)
        return true;
    reader.context->Fail(PICTURE_TRUNCATED, "PNG_DATA_TOO_SHORT");
    return false;
}

// All libpng calls of one read; an error jumps back here and we return false.
// Everything it builds lives in `reader`, outside this frame.
bool DecodePng(PngReader& reader)
{
    png_structp png = reader.png;
    png_infop info = reader.info;
    ReadContext& context = *reader.context;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_read_fn(png, &reader, PngRead);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (!context.SidesAccepted(width, height) || !PngDataCanFit(reader))
        return false;

    const int format = RequestTransforms(png, colorType, bitDepth, context.Quiet());
    if (format == 0 && context.Quiet())
        return false;  // a kind the reporting read gives in its own format
    png_read_update_info(png, info);
    const int bytesPerPixel = BytesPerPixel(format);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (format == 0 || png_get_bit_depth(png, info) != 8 ||
        png_get_channels(png, info) != bytesPerPixel ||
        rowBytes < size_t(width) * size_t(bytesPerPixel) || rowBytes > size_t(INT_MAX)) {
        context.Fail(PICTURE_UNSUPPORTED, "PNG_UNSUPPORTED_FORMAT");
        return false;
    }
    const int pitch = int(rowBytes);
    const int byteSize = StoreSize(height, pitch);
    if (byteSize < 0) {
        context.TooLargeToHold(width, height);
        return false;
    }
    context.HeaderAccepted(int(width), int(height));
    reader.surface =
        CreateDecodeSurface(context, byteSize, int(width), int(height), format, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, height, &context))
        return false;
    if (format == PF_INDEXED && !CopyPalette(png, info, reader.surface))
        return false;

    for (png_uint_32 i = 0; i < height; ++i)
        reader.rows[i] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    png_read_image(png, reader.rows.data());
    return !context.Quiet() || reader.warnings == 0;
}

OxSurface* DecodePngInput(const PngInput& input, ReadContext& context)
{
    PngReader reader;
    reader.context = &context;
    reader.input = input;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, PngError, PngWarning);
    if (reader.png == nullptr) {
        context.Note(PICTURE_NO_MEMORY);
        return nullptr;
    }
    LimitPngReader(reader.png);
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr || !DecodePng(reader)) {
        context.Note(reader.info == nullptr ? PICTURE_NO_MEMORY : PICTURE_DAMAGED);
        return nullptr;
    }
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    // libpng gives whole interlaced pictures only, so the picture is turned once decoded.
    return OrientSurface(context, surface);
}

}  // namespace

bool IsPngSignature(const uint8_t* bytes, int byteCount)
{
    return byteCount >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

OxSurface* DecodePngFile(OxFile* file, ReadContext& context)
{
    PngInput input;
    input.file = file;
    return DecodePngInput(input, context);
}

OxSurface* DecodePngBytes(const uint8_t* bytes, int byteCount, ReadContext& context)
{
    PngInput input;
    input.bytes = bytes;
    input.size = size_t(byteCount);
    return DecodePngInput(input, context);
}

OxSurface* ReadPng(OxFile* file, PictureReport* report)
{
    ReadContext context(DecodeMode::Reporting, nullptr);
    OxSurface* surface = nullptr;
    const int start = file != nullptr ? file->Tell() : -1;
    if (start < 0) {
        context.Note(PICTURE_UNREADABLE);
    } else {
        uint8_t signature[8] = {};
        const int got = file->Read(signature, 8);
        file->Seek(start, SEEK_SET);
        if (!IsPngSignature(signature, got))
            context.Note(got < 0 ? PICTURE_UNREADABLE : PICTURE_NOT_RECOGNISED);
        else
            surface = DecodePngFile(file, context);
    }
    if (report != nullptr)
        *report = context.Report();
    return surface;
}
