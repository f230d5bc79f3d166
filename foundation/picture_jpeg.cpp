// The JPEG decoder: one sequence of libjpeg calls for the quiet and the reporting read,
// and the libjpeg error manager that the JPEG writer shares.
#include <algorithm>
#include <cstdint>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <jerror.h>

#include "foundation/exif.h"
#include "foundation/jpeg_errors.h"
#include "foundation/log.h"
#include "foundation/picture_codec.h"
#include "foundation/strip_worker.h"

namespace {

// Working memory libjpeg may take beyond our pixel store (whole-image
// coefficient buffers of progressive files); past it the decoder fails.
constexpr long kMaxJpegDecoderMemory = 1L << 30;
// A progressive file can hold any number of scans, each a pass over the
// whole picture; more than this is a hostile file, not a picture.
constexpr int kMaxJpegScans = 500;
// The most rows one call of libjpeg gives: a row group, at most 4 x 8 rows.
constexpr int kJpegRowGroupMost = 32;
// Rows decoded together before they are converted or turned upright: the longer the runs
// a quarter turn writes to each upright row, the less of each cache line is written twice,
// as long as the strip stays in the processor's cache (about 3 MB: 190 rows of a
// 4000-pixel photo).
constexpr size_t kJpegStripBytes = 3 << 20;
constexpr size_t kJpegStripRowsLeast = 32 + kJpegRowGroupMost;
constexpr size_t kJpegStripRowsMost = 256;

int JpegStripRows(size_t stripPitch)
{
    return int(std::clamp(kJpegStripBytes / std::max<size_t>(stripPitch, 1), kJpegStripRowsLeast,
                          kJpegStripRowsMost));
}

// What finishing a strip takes, copied before the first row is decoded: the worker reads
// nothing that libjpeg or the context change meanwhile.
struct StripPlacing {
    OxSurface* surface = nullptr;
    int storedWidth = 0;
    int stripPitch = 0;
    int components = 0;  // of the picture's pixels
    int orientation = kOrientationUpright;
    bool inks = false;
    bool inverted = false;
};

void FinishJpegStrip(void* placing, uint8_t* strip, int first, int count);

// Everything one JPEG decode owns. The zeroed decompressor is safe to destroy
// at any stage of its creation.
struct JpegReader {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    jpeg_progress_mgr progress{};
    OxSurface* surface = nullptr;
    std::vector<JSAMPROW> rows;
    // Rows that need work before they land (inks to convert, a turn): decoded into a strip
    // first; with the worker into two, one filled while the other is finished. Both are one
    // store, in huge pages where it can be: the pages of a fresh store faulted in one by one
    // cost more than a third of the decode.
    std::unique_ptr<uint8_t[], OxStoreRelease> strips;
    StripPlacing placing;
    StripWorker worker{FinishJpegStrip, &placing};
    ReadContext* context = nullptr;
    void (*standardEmit)(j_common_ptr, int) = nullptr;
    // libjpeg met the end of the data (in scan endedScan) and makes up the rest.
    bool dataEnded = false;
    int endedScan = 0;

    ~JpegReader()
    {
        // A fatal error jumps past the decoding frames: the worker may still be writing
        // to the picture.
        worker.Stop();
        jpeg_destroy_decompress(&cinfo);
        OxRelease(surface);
    }
};

JpegReader* ReaderOf(j_common_ptr context)
{
    return static_cast<JpegReader*>(context->client_data);
}

void JumpBack(j_common_ptr context)
{
    std::longjmp(reinterpret_cast<JpegErrorManager*>(context->err)->recovery, 1);
}

// libjpeg's message hook. Reporting: notes the end of the data, then logs as usual.
// Quiet: a warning ends the decode at once (the reporting read says what it was, where
// libjpeg would otherwise go on making up what is missing).
void NoteJpegMessage(j_common_ptr context, int level)
{
    JpegReader* reader = ReaderOf(context);
    if (reader->context->Quiet()) {
        if (level < 0)
            JumpBack(context);
        return;
    }
    if (level < 0 && context->err->msg_code == JWRN_JPEG_EOF && !reader->dataEnded) {
        const auto* cinfo = reinterpret_cast<j_decompress_ptr>(context);
        reader->dataEnded = true;
        reader->endedScan = cinfo->input_scan_number;
        reader->context->Note(PICTURE_TRUNCATED);
    }
    reader->standardEmit(context, level);
}

// A quiet decode's fatal error: no line, straight back.
void QuietJpegError(j_common_ptr context)
{
    JumpBack(context);
}

void QuietJpegOutput(j_common_ptr) {}

// The progress hook, called between rows of blocks while libjpeg reads: it also stops a
// read that the caller no longer wants.
void LimitJpegScans(j_common_ptr context)
{
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(context);
    const JpegReader* reader = ReaderOf(context);
    if (reader->context->Cancelled()) {
        // noted as cancelled; no line
    } else if (cinfo->input_scan_number > kMaxJpegScans) {
        reader->context->Fail(PICTURE_DAMAGED, "JPEG_TOO_MANY_SCANS");
    } else if (reader->dataEnded && reader->endedScan <= 1 && jpeg_has_multiple_scans(cinfo)) {
        // A file of several scans is read whole before any row comes out; when
        // its data ends inside the first scan, libjpeg would make up nearly
        // every block of every scan.
        reader->context->Fail(PICTURE_TRUNCATED, "JPEG_DATA_TOO_SHORT");
    } else {
        return;
    }
    JumpBack(context);
}

// Huffman coding spends at least one bit on every block of a component, so a
// whole picture needs that many bits of file; a file far shorter is mostly
// missing, and its picture is refused before it is made and filled in.
bool JpegDataCanFit(const jpeg_decompress_struct& cinfo, int byteCount, ReadContext& context)
{
    if (cinfo.arith_code)
        return true;
    uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        blocks = std::max(blocks, uint64_t(component.width_in_blocks) * component.height_in_blocks);
    }
    if (blocks <= uint64_t(byteCount) * 8)
        return true;
    context.Fail(PICTURE_TRUNCATED, "JPEG_DATA_TOO_SHORT");
    return false;
}

// CMYK and YCCK files are decoded to CMYK (libjpeg turns YCCK into CMYK) and their inks
// converted here.
bool DecodedAsInks(const jpeg_decompress_struct& cinfo)
{
    return cinfo.out_color_space == JCS_CMYK;
}

bool ColourSpaceShown(const jpeg_decompress_struct& cinfo, int components, ReadContext& context)
{
    const bool colours = (cinfo.out_color_space == JCS_RGB ||
                          cinfo.out_color_space == JCS_GRAYSCALE ||
                          cinfo.out_color_space == JCS_EXT_RGBA) &&
                         (components == 0 || components == (context.Quiet() ? 4 : 3) ||
                          (!context.Quiet() && components == 1));
    const bool inks = DecodedAsInks(cinfo) && (components == 0 || components == 4);
    const bool shown = colours || inks;
    if (shown)
        return true;
    context.Note(PICTURE_UNSUPPORTED);
    if (!context.Quiet())
        LogMessage(__LINE__, "", LOG_ERROR, "JPEG_UNSUPPORTED_COLOR_SPACE: %d",
                   int(cinfo.jpeg_color_space));
    return false;
}

// After libjpeg's fatal error: a picture past libjpeg's own side limit, or one whose
// working memory libjpeg could not have, is said to be so rather than damaged.
void NoteLibraryRefusal(const JpegReader& reader)
{
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    switch (cinfo.err->msg_code) {
    case JERR_IMAGE_TOO_BIG:
        reader.context->TooLarge(cinfo.image_width, cinfo.image_height, JPEG_MAX_DIMENSION);
        break;
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        reader.context->Note(PICTURE_NO_MEMORY, cinfo.image_width, cinfo.image_height);
        break;
    default:
        break;
    }
}

void SetUpDecoder(JpegReader& reader)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    if (reader.context->Quiet()) {
        cinfo->err = jpeg_std_error(&reader.errors.standard);
        reader.errors.standard.error_exit = QuietJpegError;
        reader.errors.standard.output_message = QuietJpegOutput;
    } else {
        cinfo->err = InitJpegErrorManager(&reader.errors);
    }
    reader.standardEmit = reader.errors.standard.emit_message;
    reader.errors.standard.emit_message = NoteJpegMessage;
}

// x * y / 255, rounded.
inline uint8_t ScaleByInk(unsigned x, unsigned y)
{
    const unsigned product = x * y + 128;
    return uint8_t((product + (product >> 8)) >> 8);
}

// CMYK rows to RGB or RGBA in place (no pixel grows). Adobe's files store every
// ink inverted (0 full ink), as Photoshop writes them; others store the ink itself.
void ConvertInks(uint8_t* row, int width, bool inverted, int components)
{
    const uint8_t flip = inverted ? 0 : 0xFF;
    const uint8_t* from = row;
    uint8_t* to = row;
    for (int x = 0; x < width; ++x, from += 4, to += components) {
        const unsigned white = uint8_t(from[3] ^ flip);
        const uint8_t red = ScaleByInk(uint8_t(from[0] ^ flip), white);
        const uint8_t green = ScaleByInk(uint8_t(from[1] ^ flip), white);
        const uint8_t blue = ScaleByInk(uint8_t(from[2] ^ flip), white);
        to[0] = red;
        to[1] = green;
        to[2] = blue;
        if (components == 4)
            to[3] = 0xFF;
    }
}

// Converts a strip's inks when they are CMYK and places its rows upright; on the worker's
// thread or the decoding one.
void FinishJpegStrip(void* placing, uint8_t* strip, int first, int count)
{
    const StripPlacing& place = *static_cast<const StripPlacing*>(placing);
    for (int i = 0; place.inks && i < count; ++i)
        ConvertInks(strip + size_t(i) * size_t(place.stripPitch), place.storedWidth, place.inverted,
                    place.components);
    PlaceStoredRows(strip, place.stripPitch, first, count, place.storedWidth, place.orientation,
                    place.surface);
}

// Decodes the next rows into `rows` (room for `stripRows`): their count, 0 when libjpeg
// gave none.
int DecodeStrip(JpegReader& reader, JSAMPROW* rows, int stripRows)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    int got = 0;
    // Calls are given room for a whole row group each, so no call is cut short.
    do {
        const JDIMENSION read = jpeg_read_scanlines(cinfo, rows + got, JDIMENSION(stripRows - got));
        if (read == 0)
            return 0;
        got += int(read);
    } while (stripRows - got >= kJpegRowGroupMost && !reader.dataEnded &&
             cinfo->output_scanline < cinfo->output_height);
    return got;
}

// Reads the rows a strip at a time and hands each to be finished, to the worker while the
// next one decodes when it runs; a picture whose data ended is read as far as it goes, with
// the same rows as when read straight into the picture. Every strip is in place on return.
// NOTE: libjpeg's fatal errors jump over this frame: it holds nothing to destroy, and the
// worker belongs to the reader.
bool ReadJpegStrips(JpegReader& reader)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    const int stripCount = reader.worker.Running() ? 2 : 1;
    const int stripRows = int(reader.rows.size()) / stripCount;
    int next = 0;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int first = int(cinfo->output_scanline);
        JSAMPROW* rows = &reader.rows[size_t(next * stripRows)];
        const int got = DecodeStrip(reader, rows, stripRows);
        if (got == 0)
            return false;
        // A strip the worker takes is its own until taken the next time; one it is too busy
        // for is finished here, and its rows take the next strip again.
        if (reader.worker.Hand(rows[0], first, got))
            next = (next + 1) % stripCount;
        // Rows below would only be made up from nothing: they stay black (the reporting
        // store is zeroed), undecoded.
        if (reader.dataEnded && cinfo->output_scanline < cinfo->output_height) {
            reader.worker.Stop();
            jpeg_abort_decompress(cinfo);
            return true;
        }
    }
    jpeg_finish_decompress(cinfo);
    reader.worker.Stop();
    return true;
}

// Reads the rows; a picture whose data ended is read as far as it goes.
bool ReadJpegRows(JpegReader& reader, int pitch, int byteSize)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
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

// Rows that need no work are decoded straight into the picture's rows.
bool ReadJpegStraight(JpegReader& reader, int pitch, int byteSize)
{
    const int height = reader.surface->height;
    if (!ResizeBuffer(reader.rows, size_t(height), reader.context))
        return false;
    for (int i = 0; i < height; ++i)
        reader.rows[size_t(i)] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    return ReadJpegRows(reader, pitch, byteSize);
}

// Rows with inks to convert or a turn to make are decoded into a strip first. A picture
// of more than one strip has them finished by the worker while the next one decodes,
// when a thread can be had.
bool ReadJpegThroughStrip(JpegReader& reader)
{
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    const size_t stripPitch = size_t(cinfo.output_width) * size_t(cinfo.output_components);
    const int stripRows = JpegStripRows(stripPitch);
    reader.placing = {reader.surface,
                      int(cinfo.output_width),
                      int(stripPitch),
                      BytesPerPixel(reader.surface->format),
                      reader.context->Orientation(),
                      DecodedAsInks(cinfo),
                      cinfo.saw_Adobe_marker != FALSE};
    const size_t stripCount =
        int(cinfo.output_height) > stripRows && reader.worker.Start() ? 2 : 1;
    const size_t rowCount = stripCount * size_t(stripRows);
    if (!ResizeBuffer(reader.rows, rowCount, reader.context))
        return false;
    reader.strips.reset(AllocateStore(stripPitch * rowCount));
    if (!reader.strips) {
        reader.context->Fail(PICTURE_NO_MEMORY, "OUT_OF_MEMORY");
        return false;
    }
    for (size_t i = 0; i < rowCount; ++i)
        reader.rows[i] = reader.strips.get() + i * stripPitch;
    return ReadJpegStrips(reader);
}

// Reads the header and checks it against the limits; false when refused.
bool StartJpegHeader(JpegReader& reader, const uint8_t* bytes, int byteCount)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    ReadContext& context = *reader.context;
    jpeg_create_decompress(cinfo);
    cinfo->client_data = &reader;
    cinfo->mem->max_memory_to_use = kMaxJpegDecoderMemory;
    reader.progress.progress_monitor = LimitJpegScans;
    cinfo->progress = &reader.progress;
    jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(byteCount));
    jpeg_read_header(cinfo, TRUE);
    if (!context.SidesAccepted(cinfo->image_width, cinfo->image_height) ||
        !JpegDataCanFit(*cinfo, byteCount, context) || !ColourSpaceShown(*cinfo, 0, context))
        return false;
    // libjpeg-turbo converts to RGB with a fourth byte of 0xFF itself.
    if (context.Quiet() && !DecodedAsInks(*cinfo))
        cinfo->out_color_space = JCS_EXT_RGBA;
    context.HeaderAccepted(int(cinfo->image_width), int(cinfo->image_height));
    return true;
}

bool DecodeJpeg(JpegReader& reader, const uint8_t* bytes, int byteCount)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    ReadContext& context = *reader.context;
    SetUpDecoder(reader);
    if (setjmp(reader.errors.recovery)) {
        NoteLibraryRefusal(reader);
        return false;
    }
    if (!StartJpegHeader(reader, bytes, byteCount))
        return false;
    jpeg_start_decompress(cinfo);

    if (!ColourSpaceShown(*cinfo, cinfo->output_components, context))
        return false;
    const bool inks = DecodedAsInks(*cinfo);
    const int components = inks ? (context.Quiet() ? 4 : 3) : cinfo->output_components;
    const bool upright = context.Orientation() == kOrientationUpright;
    const bool swap = OrientationSwapsSides(context.Orientation());
    const int width = int(swap ? cinfo->output_height : cinfo->output_width);
    const int height = int(swap ? cinfo->output_width : cinfo->output_height);
    const int pitch = width * components;
    const int byteSize = StoreSize(height, pitch);
    if (byteSize <= 0) {
        context.TooLargeToHold(cinfo->output_width, cinfo->output_height);
        return false;
    }
    const int format = components == 4 ? PF_RGBA : components == 3 ? PF_RGB : PF_GREY;
    reader.surface = CreateDecodeSurface(context, byteSize, width, height, format, pitch);
    if (reader.surface == nullptr)
        return false;
    const bool read = upright && !inks ? ReadJpegStraight(reader, pitch, byteSize)
                                       : ReadJpegThroughStrip(reader);
    return read && (!context.Quiet() || reader.errors.standard.num_warnings == 0);
}

// A progressive file is read whole before its first row comes out, each scan a pass over
// the picture: it takes about twice as long as a sequential one of the same size.
int64_t JpegDecodeCost(const jpeg_decompress_struct& cinfo)
{
    const int64_t pixels = int64_t(cinfo.image_width) * cinfo.image_height;
    return jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo)) ? 2 * pixels : pixels;
}

// The preview's decode: the same header checks, an eighth of the sides, every row.
bool DecodeJpegPreview(JpegReader& reader, const uint8_t* bytes, int byteCount)
{
    jpeg_decompress_struct* cinfo = &reader.cinfo;
    SetUpDecoder(reader);
    if (setjmp(reader.errors.recovery))
        return false;
    if (!StartJpegHeader(reader, bytes, byteCount) ||
        !reader.context->WantsPreview(JpegDecodeCost(*cinfo)))
        return false;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 8;
    cinfo->dct_method = JDCT_IFAST;
    jpeg_start_decompress(cinfo);
    const int width = int(cinfo->output_width);
    const int height = int(cinfo->output_height);
    const int pitch = width * 4;
    const int byteSize = StoreSize(height, pitch);
    if (cinfo->out_color_space != JCS_EXT_RGBA || byteSize <= 0)
        return false;
    reader.surface = CreateDecodeSurface(*reader.context, byteSize, width, height, PF_RGBA, pitch);
    if (reader.surface == nullptr || !ResizeBuffer(reader.rows, size_t(height), nullptr))
        return false;
    for (int i = 0; i < height; ++i)
        reader.rows[size_t(i)] = reader.surface->writePixels + size_t(i) * size_t(pitch);
    return ReadJpegRows(reader, pitch, byteSize) && reader.errors.standard.num_warnings == 0;
}

}  // namespace

void JpegOutputMessage(j_common_ptr context)
{
    char buffer[JMSG_LENGTH_MAX];
    context->err->format_message(context, buffer);
    LogMessage(__LINE__, "", LOG_ERROR, "%s", buffer);
}

void JpegErrorExit(j_common_ptr context)
{
    // The first line is a fixed marker, the library's message follows.
    LogMessage(__LINE__, "", LOG_ERROR, "%s", "JPEG_ERROR");
    JpegOutputMessage(context);
    // NOTE: a fatal libjpeg error must not end the program (a corrupt file
    // dropped on the window); the codec that owns the state recovers.
    JumpBack(context);
}

jpeg_error_mgr* InitJpegErrorManager(JpegErrorManager* manager)
{
    jpeg_error_mgr* standard = jpeg_std_error(&manager->standard);
    standard->error_exit = JpegErrorExit;
    standard->output_message = JpegOutputMessage;
    return standard;
}

bool IsJpegSignature(const uint8_t* bytes, int byteCount)
{
    return byteCount >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

OxSurface* DecodeJpegBytes(const uint8_t* bytes, int byteCount, ReadContext& context)
{
    if (bytes == nullptr || !IsJpegSignature(bytes, byteCount)) {
        context.Note(PICTURE_NOT_RECOGNISED);
        return nullptr;
    }
    JpegReader reader;
    reader.context = &context;
    if (!DecodeJpeg(reader, bytes, byteCount)) {
        context.Note(PICTURE_DAMAGED);
        return nullptr;
    }
    OxSurface* surface = reader.surface;
    reader.surface = nullptr;
    return surface;
}

void PreviewJpegBytes(const uint8_t* bytes, int byteCount, ReadContext& context)
{
    if (bytes == nullptr || !context.Quiet() || !context.WantsPreview(INT64_MAX) ||
        !IsJpegSignature(bytes, byteCount))
        return;
    {
        JpegReader reader;
        reader.context = &context;
        if (DecodeJpegPreview(reader, bytes, byteCount)) {
            // Turned as the picture will be.
            OxHolder<OxSurface> preview(OrientSurface(context, reader.surface));
            reader.surface = nullptr;
            if (preview)
                context.GivePreview(preview.get());
        }
    }
    // What the preview met is said, if at all, by the picture's own decode.
    context.ForgetProblemsUnlessCancelled();
}

OxSurface* DecodeJpegMemory(const uint8_t* bytes, int byteCount, PictureReport* report)
{
    ReadContext context(DecodeMode::Reporting, nullptr);
    OxSurface* surface = DecodeJpegBytes(bytes, byteCount, context);
    if (report != nullptr)
        *report = context.Report();
    return surface;
}
