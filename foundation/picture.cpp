// PNG and JPEG readers into surfaces, and the PNG, BMP and JPEG writers.
#include "foundation/picture.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "foundation/log.h"

namespace {

// A JPEG file larger than this is not read into memory.
constexpr int kMaxJpegFileBytes = 1 << 30;
// Working memory libjpeg may take beyond our pixel store (whole-image
// coefficient buffers of progressive files); past it the decoder fails.
constexpr long kMaxJpegDecoderMemory = 1L << 30;
// A progressive file can hold any number of scans, each a pass over the
// whole picture; more than this is a hostile file, not a picture.
constexpr int kMaxJpegScans = 500;

thread_local PictureReport s_report = {PICTURE_FINE, 0, 0};

void StartReport()
{
    s_report = PictureReport{PICTURE_FINE, 0, 0};
}

// Notes a problem unless an earlier one of this read is noted already.
void Report(PictureProblem problem, uint32_t width = 0, uint32_t height = 0)
{
    if (s_report.problem == PICTURE_FINE)
        s_report = PictureReport{problem, width, height};
}

bool SideTooLarge(uint32_t width, uint32_t height)
{
    if (width <= uint32_t(kMaxPictureSide) && height <= uint32_t(kMaxPictureSide))
        return false;
    Report(PICTURE_TOO_LARGE, width, height);
    LogMessage(__LINE__, "", LOG_ERROR, "PICTURE_TOO_LARGE: %u x %u", unsigned(width),
               unsigned(height));
    return true;
}

// rows * rowBytes when it fits an int (a surface's byte size), else -1.
int StoreSize(int64_t rows, int64_t rowBytes)
{
    if (rows < 0 || rowBytes < 0)
        return -1;
    if (rowBytes != 0 && rows > int64_t(INT_MAX) / rowBytes)
        return -1;
    return int(rows * rowBytes);
}

// Sizes a buffer to count entries without letting bad_alloc escape.
template <class Entry>
bool ResizeBuffer(std::vector<Entry>& buffer, size_t count)
{
    try {
        buffer.resize(count);
        return true;
    } catch (const std::bad_alloc&) {
        Report(PICTURE_NO_MEMORY);
        LogMessage(__LINE__, "", LOG_ERROR, "OUT_OF_MEMORY");
        return false;
    }
}

// ---------------------------------------------------------------- PNG

// libpng's error callback: one log line, then back to the recovery point.
void PngError(png_structp png, png_const_charp message)
{
    Report(PICTURE_DAMAGED);
    LogMessage(__LINE__, "", LOG_ERROR, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp message)
{
    LogMessage(__LINE__, "", LOG_WARNING, "%s", message);
}

void PngReadFromFile(png_structp png, png_bytep data, size_t length)
{
    auto* file = static_cast<OxFile*>(png_get_io_ptr(png));
    if (length > size_t(INT_MAX) || file->Read(data, int(length)) != int(length)) {
        Report(PICTURE_TRUNCATED);
        png_error(png, "PNG_READ_ERROR");
    }
}

// Everything one PNG read owns; released on every way out, the error jump included.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    OxSurface* surface = nullptr;
    std::vector<png_bytep> rows;

    ~PngReader()
    {
        if (png != nullptr)
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        OxRelease(surface);
    }
};

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

// Asks libpng for 8-bit samples of the colour type; returns the surface format, 0 if none.
int RequestPngTransforms(png_structp png, int colorType, int bitDepth)
{
    png_set_interlace_handling(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        return PF_GREY;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        return PF_RGBA;
    case PNG_COLOR_TYPE_RGB:
        return PF_RGB;
    case PNG_COLOR_TYPE_PALETTE:
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
// inflated, whatever length it claims.
void LimitPngReader(png_structp png)
{
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_chunk_malloc_max(png, png_alloc_size_t(1) << 20);
}

// Deflate turns one byte into at most 1032; image data that the rest of the
// file cannot hold is refused before its pixel store is made.
bool PngDataFits(png_structp png, png_infop info, OxFile* file)
{
    const int64_t size = file->GetSize();
    const int64_t position = file->Tell();
    if (size < 0 || position < 0 || position > size)
        return true;  // nothing to tell; the read itself fails on a short file
    const uint64_t rawBytes = uint64_t(png_get_image_height(png, info)) *
                              (uint64_t(png_get_rowbytes(png, info)) + 1);
    return rawBytes <= uint64_t(size - position + 1) * 1032;
}

bool PngDataCanFit(png_structp png, png_infop info, OxFile* file)
{
    if (PngDataFits(png, info, file))
        return true;
    Report(PICTURE_TRUNCATED);
    LogMessage(__LINE__, "", LOG_ERROR, "PNG_DATA_TOO_SHORT");
    return false;
}

// All libpng calls of one read; an error jumps back here and we return false.
// Everything it builds lives in `reader`, outside this frame.
bool DecodePng(PngReader& reader, OxFile* file)
{
    png_structp png = reader.png;
    png_infop info = reader.info;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_read_fn(png, file, PngReadFromFile);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (SideTooLarge(width, height) || !PngDataCanFit(png, info, file))
        return false;

    const int format = RequestPngTransforms(png, colorType, bitDepth);
    png_read_update_info(png, info);
    const int bytesPerPixel = BytesPerPixel(format);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (format == 0 || png_get_bit_depth(png, info) != 8 ||
        png_get_channels(png, info) != bytesPerPixel ||
        rowBytes < size_t(width) * size_t(bytesPerPixel) || rowBytes > size_t(INT_MAX)) {
        Report(PICTURE_UNSUPPORTED);
        LogMessage(__LINE__, "", LOG_ERROR, "PNG_UNSUPPORTED_FORMAT");
        return false;
    }
    const int pitch = int(rowBytes);
    const int byteSize = StoreSize(height, pitch);
    if (byteSize < 0) {
        Report(PICTURE_TOO_LARGE, width, height);
        LogMessage(__LINE__, "", LOG_ERROR, "PICTURE_TOO_LARGE: %u x %u", unsigned(width),
                   unsigned(height));
        return false;
    }
    reader.surface = CreateSurface(byteSize, int(width), int(height), format, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, height)) {
        if (reader.surface == nullptr) {
            Report(PICTURE_NO_MEMORY);
            LogMessage(__LINE__, "", LOG_ERROR, "OUT_OF_MEMORY");
        }
        return false;
    }
    if (format == PF_INDEXED && !CopyPalette(png, info, reader.surface))
        return false;

    for (png_uint_32 i = 0; i < height; ++i)
        reader.rows[i] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    png_read_image(png, reader.rows.data());
    return true;
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

// ---------------------------------------------------------------- JPEG

// The libjpeg error manager of our codecs: the standard one plus a recovery point.
// JpegErrorExit jumps to `recovery` after logging. The codec that owns the library
// state sets the recovery point with setjmp right after creating it.
struct JpegErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recovery;
};

void JpegOutputMessage(j_common_ptr context)
{
    char buffer[JMSG_LENGTH_MAX];
    context->err->format_message(context, buffer);
    LogMessage(__LINE__, "", LOG_ERROR, "%s", buffer);
}

void JpegErrorExit(j_common_ptr context)
{
    // Neither codec fills client_data, so the first line is a fixed marker.
    LogMessage(__LINE__, "", LOG_ERROR, "%s", "JPEG_ERROR");
    JpegOutputMessage(context);
    // NOTE: a fatal libjpeg error must not end the program (a corrupt file
    // dropped on the window); the codec that owns the state recovers.
    auto* manager = reinterpret_cast<JpegErrorManager*>(context->err);
    std::longjmp(manager->recovery, 1);
}

// Fills `manager` like jpeg_std_error and installs our two callbacks.
jpeg_error_mgr* InitJpegErrorManager(JpegErrorManager* manager)
{
    jpeg_error_mgr* standard = jpeg_std_error(&manager->standard);
    standard->error_exit = JpegErrorExit;
    standard->output_message = JpegOutputMessage;
    return standard;
}


// Everything one JPEG decode owns. The zeroed decompressor is safe to destroy
// at any stage of its creation.
struct JpegReader {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    jpeg_progress_mgr progress{};
    OxSurface* surface = nullptr;
    std::vector<JSAMPROW> rows;
    void (*standardEmit)(j_common_ptr, int) = nullptr;
    // libjpeg met the end of the data (in scan endedScan) and makes up the rest.
    bool dataEnded = false;
    int endedScan = 0;

    ~JpegReader()
    {
        jpeg_destroy_decompress(&cinfo);
        OxRelease(surface);
    }
};

// libjpeg's message hook: notes the end of the data, then logs as usual.
void NoteJpegMessage(j_common_ptr context, int level)
{
    auto* reader = static_cast<JpegReader*>(context->client_data);
    if (level < 0 && context->err->msg_code == JWRN_JPEG_EOF && !reader->dataEnded) {
        const auto* cinfo = reinterpret_cast<j_decompress_ptr>(context);
        reader->dataEnded = true;
        reader->endedScan = cinfo->input_scan_number;
        Report(PICTURE_TRUNCATED);
    }
    reader->standardEmit(context, level);
}

// The progress hook, called between rows of blocks while libjpeg reads.
void LimitJpegScans(j_common_ptr context)
{
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(context);
    const auto* reader = static_cast<const JpegReader*>(context->client_data);
    if (cinfo->input_scan_number > kMaxJpegScans) {
        Report(PICTURE_DAMAGED);
        LogMessage(__LINE__, "", LOG_ERROR, "JPEG_TOO_MANY_SCANS");
    } else if (reader->dataEnded && reader->endedScan <= 1 && jpeg_has_multiple_scans(cinfo)) {
        // A file of several scans is read whole before any row comes out; when
        // its data ends inside the first scan, libjpeg would make up nearly
        // every block of every scan.
        LogMessage(__LINE__, "", LOG_ERROR, "JPEG_DATA_TOO_SHORT");
    } else {
        return;
    }
    std::longjmp(reinterpret_cast<JpegErrorManager*>(context->err)->recovery, 1);
}

// Huffman coding spends at least one bit on every block of a component, so a
// whole picture needs that many bits of file; a file far shorter is mostly
// missing, and its picture is refused before it is made and filled in.
bool JpegDataFits(const jpeg_decompress_struct& cinfo, int byteCount)
{
    if (cinfo.arith_code)
        return true;
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        blocks = std::max(blocks, uint64_t(component.width_in_blocks) * component.height_in_blocks);
    }
    return blocks <= uint64_t(byteCount) * 8;
}

bool JpegDataCanFit(const jpeg_decompress_struct& cinfo, int byteCount)
{
    if (JpegDataFits(cinfo, byteCount))
        return true;
    Report(PICTURE_TRUNCATED);
    LogMessage(__LINE__, "", LOG_ERROR, "JPEG_DATA_TOO_SHORT");
    return false;
}

bool DecodeJpeg(JpegReader& reader, const uint8_t* bytes, int byteCount)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    cinfo->err = InitJpegErrorManager(&reader.errors);
    if (setjmp(reader.errors.recovery))
        return false;

    jpeg_create_decompress(cinfo);
    cinfo->client_data = &reader;
    reader.standardEmit = reader.errors.standard.emit_message;
    reader.errors.standard.emit_message = NoteJpegMessage;
    cinfo->mem->max_memory_to_use = kMaxJpegDecoderMemory;
    reader.progress.progress_monitor = LimitJpegScans;
    cinfo->progress = &reader.progress;
    jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(byteCount));
    jpeg_read_header(cinfo, TRUE);
    if (SideTooLarge(cinfo->image_width, cinfo->image_height) ||
        !JpegDataCanFit(*cinfo, byteCount))
        return false;
    if (cinfo->out_color_space != JCS_RGB && cinfo->out_color_space != JCS_GRAYSCALE) {
        Report(PICTURE_UNSUPPORTED);
        LogMessage(__LINE__, "", LOG_ERROR, "JPEG_UNSUPPORTED_COLOR_SPACE: %d",
                   int(cinfo->jpeg_color_space));
        return false;
    }
    jpeg_start_decompress(cinfo);

    const int components = cinfo->output_components;
    if (components != 3 && components != 1) {
        Report(PICTURE_UNSUPPORTED);
        LogMessage(__LINE__, "", LOG_ERROR, "JPEG_UNSUPPORTED_COLOR_SPACE: %d",
                   int(cinfo->jpeg_color_space));
        return false;
    }
    const int width = int(cinfo->output_width);
    const int height = int(cinfo->output_height);
    const int pitch = width * components;
    const int byteSize = StoreSize(height, pitch);
    if (byteSize < 0) {
        Report(PICTURE_TOO_LARGE, uint32_t(width), uint32_t(height));
        return false;
    }
    reader.surface =
        CreateSurface(byteSize, width, height, components == 3 ? PF_RGB : PF_GREY, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, size_t(height))) {
        if (reader.surface == nullptr) {
            Report(PICTURE_NO_MEMORY);
            LogMessage(__LINE__, "", LOG_ERROR, "OUT_OF_MEMORY");
        }
        return false;
    }
    for (int i = 0; i < height; ++i)
        reader.rows[size_t(i)] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    // Memory input never suspends, so every call makes progress; a call that
    // does not is not waited on.
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION done = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &reader.rows[done], cinfo->output_height - done) == 0)
            return false;
        if (!reader.dataEnded || cinfo->output_scanline == cinfo->output_height)
            continue;
        // Rows below would only be made up from nothing: they stay black, undecoded.
        const size_t filled = size_t(cinfo->output_scanline) * size_t(pitch);
        std::memset(reader.surface->writePixels + filled, 0, size_t(byteSize) - filled);
        jpeg_abort_decompress(cinfo);
        return true;
    }
    jpeg_finish_decompress(cinfo);
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

// ---------------------------------------------------------------- straight to RGBA, quietly

// libpng's callbacks of a quiet read: an error jumps back, a warning is only counted.
void QuietPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void QuietPngWarning(png_structp png, png_const_charp)
{
    ++*static_cast<int*>(png_get_error_ptr(png));
}

// Asks libpng for 8-bit RGBA; false for the kinds left to ReadPng (palettes).
bool RequestRgbaTransforms(png_structp png, int colorType, int bitDepth)
{
    // The same expansions ReadPng asks for, then the alpha ConvertPixels would add.
    png_set_interlace_handling(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bitDepth < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        return true;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        return true;
    case PNG_COLOR_TYPE_RGB:
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        return true;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return true;
    default:
        return false;
    }
}

bool DecodePngRgba(PngReader& reader, OxFile* file, const int* warnings)
{
    png_structp png = reader.png;
    png_infop info = reader.info;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_read_fn(png, file, PngReadFromFile);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    if (width == 0 || height == 0 || width > uint32_t(kMaxPictureSide) ||
        height > uint32_t(kMaxPictureSide) || !PngDataFits(png, info, file) ||
        !RequestRgbaTransforms(png, colorType, bitDepth))
        return false;
    png_read_update_info(png, info);
    const int pitch = int(width) * 4;
    const int byteSize = StoreSize(height, pitch);
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != 4 ||
        png_get_rowbytes(png, info) != size_t(pitch) || byteSize < 0)
        return false;
    reader.surface = CreateSurfaceForOverwrite(byteSize, int(width), int(height), PF_RGBA, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, height))
        return false;
    for (png_uint_32 i = 0; i < height; ++i)
        reader.rows[i] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    png_read_image(png, reader.rows.data());
    return *warnings == 0;
}

// libjpeg's callbacks of a quiet decode: no message, an error jumps back.
void QuietJpegError(j_common_ptr context)
{
    std::longjmp(reinterpret_cast<JpegErrorManager*>(context->err)->recovery, 1);
}

void QuietJpegOutput(j_common_ptr) {}

// A warning ends a quiet decode at once: such a file goes to ReadJpeg, which reports
// it, and libjpeg would otherwise go on making up what is missing.
void QuietJpegWarning(j_common_ptr context, int level)
{
    if (level < 0)
        QuietJpegError(context);
}

void QuietJpegScanLimit(j_common_ptr context)
{
    if (reinterpret_cast<j_decompress_ptr>(context)->input_scan_number > kMaxJpegScans)
        QuietJpegError(context);
}

bool DecodeJpegRgba(JpegReader& reader, const uint8_t* bytes, int byteCount)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    cinfo->err = jpeg_std_error(&reader.errors.standard);
    reader.errors.standard.error_exit = QuietJpegError;
    reader.errors.standard.output_message = QuietJpegOutput;
    reader.errors.standard.emit_message = QuietJpegWarning;
    if (setjmp(reader.errors.recovery))
        return false;

    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = kMaxJpegDecoderMemory;
    reader.progress.progress_monitor = QuietJpegScanLimit;
    cinfo->progress = &reader.progress;
    jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(byteCount));
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width > uint32_t(kMaxPictureSide) ||
        cinfo->image_height > uint32_t(kMaxPictureSide) ||
        (cinfo->out_color_space != JCS_RGB && cinfo->out_color_space != JCS_GRAYSCALE) ||
        !JpegDataFits(*cinfo, byteCount))
        return false;
    // libjpeg-turbo converts to RGB with a fourth byte of 0xFF itself.
    cinfo->out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4)
        return false;
    const int width = int(cinfo->output_width);
    const int height = int(cinfo->output_height);
    const int pitch = width * 4;
    const int byteSize = StoreSize(height, pitch);
    if (byteSize <= 0)
        return false;
    reader.surface = CreateSurfaceForOverwrite(byteSize, width, height, PF_RGBA, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, size_t(height)))
        return false;
    for (int i = 0; i < height; ++i)
        reader.rows[size_t(i)] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION done = cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &reader.rows[done], cinfo->output_height - done) == 0)
            return false;
    }
    jpeg_finish_decompress(cinfo);
    return reader.errors.standard.num_warnings == 0;
}

OxSurface* ReadJpegRgbaQuietly(OxFile* file, int start)
{
    const int end = file->Seek(0, SEEK_END) == 0 ? file->Tell() : -1;
    if (end < start || end - start > kMaxJpegFileBytes || file->Seek(start, SEEK_SET) != 0)
        return nullptr;
    const int byteCount = end - start;
    // Every byte is read over at once: no need to zero them first.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size_t(byteCount)]);
    if (!bytes || file->Read(bytes.get(), byteCount) != byteCount)
        return nullptr;
    JpegReader reader;
    if (!DecodeJpegRgba(reader, bytes.get(), byteCount))
        return nullptr;
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
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

PictureReport LastPictureReport()
{
    return s_report;
}

OxSurface* ReadPng(OxFile* file)
{
    StartReport();
    const int start = file != nullptr ? file->Tell() : -1;
    if (start < 0) {
        Report(PICTURE_UNREADABLE);
        return nullptr;
    }
    png_byte signature[8] = {};
    const int got = file->Read(signature, 8);
    file->Seek(start, SEEK_SET);
    if (got != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        Report(got < 0 ? PICTURE_UNREADABLE : PICTURE_NOT_RECOGNISED);
        return nullptr;
    }

    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (reader.png == nullptr) {
        Report(PICTURE_NO_MEMORY);
        return nullptr;
    }
    LimitPngReader(reader.png);
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr || !DecodePng(reader, file)) {
        Report(reader.info == nullptr ? PICTURE_NO_MEMORY : PICTURE_DAMAGED);
        return nullptr;
    }
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
}

OxSurface* ReadJpeg(OxFile* file)
{
    StartReport();
    if (file == nullptr) {
        Report(PICTURE_UNREADABLE);
        return nullptr;
    }
    const int start = file->Tell();
    const int end = file->Seek(0, SEEK_END) == 0 ? file->Tell() : -1;
    if (start >= 0)
        file->Seek(start, SEEK_SET);
    if (start < 0 || end < start) {
        Report(PICTURE_UNREADABLE);
        LogMessage(__LINE__, "", LOG_ERROR, "FILE_SIZE_UNKNOWN");
        return nullptr;
    }
    const int byteCount = end - start;
    if (byteCount > kMaxJpegFileBytes) {
        Report(PICTURE_UNREADABLE);
        LogMessage(__LINE__, "", LOG_ERROR, "FILE_TOO_LARGE: %d", byteCount);
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    if (!ResizeBuffer(bytes, size_t(byteCount)))
        return nullptr;
    const int got = byteCount > 0 ? file->Read(bytes.data(), byteCount) : 0;
    if (got < 0) {
        Report(PICTURE_UNREADABLE);
        return nullptr;
    }
    // Only what arrived is decoded, never the unread tail of the block.
    return DecodeJpegMemory(bytes.data(), got);
}

OxSurface* DecodeJpegMemory(const uint8_t* bytes, int byteCount)
{
    StartReport();
    if (bytes == nullptr || byteCount < 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        Report(PICTURE_NOT_RECOGNISED);
        return nullptr;
    }
    JpegReader reader;
    if (!DecodeJpeg(reader, bytes, byteCount)) {
        Report(PICTURE_DAMAGED);
        return nullptr;
    }
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
}

OxSurface* ReadRgbaQuietly(OxFile* file)
{
    // A picture read here is read cleanly: no earlier read's problem may stand for it.
    StartReport();
    if (file == nullptr)
        return nullptr;
    const int start = file->Tell();
    uint8_t signature[8] = {};
    if (start < 0 || file->Read(signature, 8) != 8 || file->Seek(start, SEEK_SET) != 0)
        return nullptr;
    if (signature[0] == 0xFF && signature[1] == 0xD8)
        return ReadJpegRgbaQuietly(file, start);
    if (png_sig_cmp(signature, 0, 8) != 0)
        return nullptr;
    int warnings = 0;
    PngReader reader;
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &warnings, QuietPngError,
                                        QuietPngWarning);
    if (reader.png == nullptr)
        return nullptr;
    LimitPngReader(reader.png);
    reader.info = png_create_info_struct(reader.png);
    if (reader.info == nullptr || !DecodePngRgba(reader, file, &warnings))
        return nullptr;
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
}

int WritePng(int width, int height, const uint8_t* pixels, std::FILE* stream)
{
    if (stream == nullptr || !ValidRgbPicture(width, height, pixels))
        return -1;
    PngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
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
    if (!ResizeBuffer(row, size_t(rowSize)))
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
    if (!surface || !ResizeBuffer(rows, size_t(height)))
        return -1;
    const size_t copyBytes = size_t(pitch < packedPitch ? pitch : packedPitch);
    for (int i = 0; i < height; ++i) {
        rows[size_t(i)] = surface->writePixels + size_t(i) * size_t(packedPitch);
        std::memcpy(rows[size_t(i)], pixels + size_t(i) * size_t(pitch), copyBytes);
    }
    JpegWriter writer;
    return EncodeJpeg(writer, surface.get(), rows.data(), stream) ? 0 : -1;
}
