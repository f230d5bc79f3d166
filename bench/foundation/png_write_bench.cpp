// Snapshot encoding: WritePng against libpng's default settings on the same frames, in one run.
//
// Each benchmark times WritePng on its frame and, in the same run, libpng with no
// settings of its own (all filters tried per row, zlib level 6); the counters give
// speedup = default time / WritePng time and size_ratio = WritePng bytes / default bytes.
#include <benchmark/benchmark.h>

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"

namespace {

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // packed rows, top first
};

// The picture at the path as packed RGB, or an empty frame.
Frame ReadFrame(const std::string& path)
{
    Frame frame;
    std::FILE* stream = OpenRegularFile(path.c_str());
    if (!stream)
        return frame;
    OxHolder<OxFile> file(new OxAnsiFile(stream));
    OxHolder<OxSurface> picture(ReadPng(file.get()));
    if (!picture)
        picture.Reset(ReadJpeg(file.get()));
    if (!picture)
        return frame;
    frame.width = picture->width;
    frame.height = picture->height;
    frame.rgb.resize(size_t(frame.width) * frame.height * 3);
    if (ConvertPixels(frame.width * 3, frame.rgb.data(), PF_RGB, picture.get()) != 0)
        return Frame();
    return frame;
}

// The frame enlarged `factor` times with bilinear filtering: the smooth detail of a
// photograph taken at a high resolution.
Frame Enlarge(const Frame& small, int factor)
{
    Frame large;
    if (small.width < 2 || small.height < 2)
        return large;
    large.width = small.width * factor;
    large.height = small.height * factor;
    large.rgb.resize(size_t(large.width) * large.height * 3);
    for (int y = 0; y < large.height; ++y) {
        const double sy = std::min(double(small.height - 1), (y + 0.5) / factor - 0.5);
        const int y0 = std::max(0, int(sy));
        const int y1 = std::min(small.height - 1, y0 + 1);
        const double fy = std::max(0.0, sy - y0);
        for (int x = 0; x < large.width; ++x) {
            const double sx = std::min(double(small.width - 1), (x + 0.5) / factor - 0.5);
            const int x0 = std::max(0, int(sx));
            const int x1 = std::min(small.width - 1, x0 + 1);
            const double fx = std::max(0.0, sx - x0);
            for (int k = 0; k < 3; ++k) {
                auto at = [&](int px, int py) {
                    return double(small.rgb[(size_t(py) * small.width + px) * 3 + k]);
                };
                const double top = at(x0, y0) * (1 - fx) + at(x1, y0) * fx;
                const double bottom = at(x0, y1) * (1 - fx) + at(x1, y1) * fx;
                large.rgb[(size_t(y) * large.width + x) * 3 + k] =
                    uint8_t(top * (1 - fy) + bottom * fy + 0.5);
            }
        }
    }
    return large;
}

// Gradients with one noisy channel: the hardest kind of frame to compress.
Frame NoisyFrame(int width, int height)
{
    Frame frame;
    frame.width = width;
    frame.height = height;
    frame.rgb.resize(size_t(width) * height * 3);
    uint32_t state = 12345;
    for (size_t i = 0; i < frame.rgb.size(); i += 3) {
        const int x = int(i / 3 % size_t(width)), y = int(i / 3 / size_t(width));
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        frame.rgb[i] = uint8_t(x * 255 / (width - 1));
        frame.rgb[i + 1] = uint8_t(y * 255 / (height - 1));
        frame.rgb[i + 2] = uint8_t(state);
    }
    return frame;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// libpng with its default filters and compression, into memory; the byte count.
size_t EncodeWithDefaults(const Frame& frame)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, png_uint_32(frame.width), png_uint_32(frame.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame.height; ++y)
        png_write_row(png, const_cast<png_bytep>(frame.rgb.data()) + size_t(y) * frame.width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

// WritePng into an anonymous temporary file, as a snapshot is written; the byte count.
size_t EncodeWithWritePng(const Frame& frame)
{
    std::FILE* stream = std::tmpfile();
    if (!stream)
        return 0;
    size_t size = 0;
    if (WritePng(frame.width, frame.height, frame.rgb.data(), stream) == 0 &&
        std::fflush(stream) == 0)
        size = size_t(std::ftell(stream));
    std::fclose(stream);
    return size;
}

double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

void BM_WritePngAgainstDefaults(benchmark::State& state, Frame (*makeFrame)())
{
    const Frame frame = makeFrame();
    if (frame.rgb.empty()) {
        state.SkipWithError("no frame (test data missing?)");
        return;
    }
    size_t size = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        size = EncodeWithWritePng(frame);
        benchmark::DoNotOptimize(size);
    }
    const double ours = Seconds(std::chrono::steady_clock::now() - start) / state.iterations();

    // The reference in the same run, a few times for a steady figure.
    const int repeats = 3;
    size_t defaultSize = 0;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; ++i)
        defaultSize = EncodeWithDefaults(frame);
    const double reference = Seconds(std::chrono::steady_clock::now() - start) / repeats;

    state.counters["pixels"] = double(frame.width) * frame.height;
    state.counters["bytes"] = double(size);
    state.counters["default_bytes"] = double(defaultSize);
    state.counters["size_ratio"] = defaultSize ? double(size) / double(defaultSize) : 0.0;
    state.counters["speedup"] = ours > 0 ? reference / ours : 0.0;
}

// A real photograph (a test JPEG) enlarged to about 1800 x 1200.
Frame PhotoFrame()
{
    return Enlarge(ReadFrame(std::string(GLOWVIEW_TESTDATA_DIR) + "/jpeg/testorig.jpg"), 8);
}

// The bundled sample (plasma, flat discs, a ramp) enlarged to 1920 x 1200.
Frame SampleFrame()
{
    return Enlarge(ReadFrame(std::string(GLOWVIEW_SOURCE_DIR) + "/samples/sample.png"), 6);
}

Frame NoiseFrame()
{
    return NoisyFrame(1920, 1080);
}

BENCHMARK_CAPTURE(BM_WritePngAgainstDefaults, photo, PhotoFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WritePngAgainstDefaults, sample, SampleFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WritePngAgainstDefaults, noise, NoiseFrame)->Unit(benchmark::kMillisecond);

}  // namespace
