// Reading a 12-megapixel lossy WebP photo: ReadPicture (the file read, the quiet decode
// straight into the picture's store) against libwebp's bare WebPDecodeRGBA of the same
// bytes in memory, and against the decode alone into a store made beforehand, in one run.
// scripts/bench_report.py gives the ratios.
#include <benchmark/benchmark.h>

#include <webp/decode.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/support/photo.h"
#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"

namespace {

// The photo's file, written once per process and removed when it ends, and its bytes.
struct WebpPhoto {
    std::string path;
    std::vector<uint8_t> bytes;

    WebpPhoto()
    {
        const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                           ("glowview-bench-photo-" +
                                            std::to_string(reinterpret_cast<uintptr_t>(this)) +
                                            ".webp");
        OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
        if (!photo || !WritePhotoWebp(photo.get(), file.string()))
            return;
        path = file.string();
        if (std::FILE* stream = std::fopen(path.c_str(), "rb")) {
            bytes.resize(size_t(std::filesystem::file_size(file)));
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), stream));
            std::fclose(stream);
        }
    }
    ~WebpPhoto()
    {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

const WebpPhoto& Photo()
{
    static const WebpPhoto photo;
    return photo;
}

void BM_ReadWebp(benchmark::State& state)
{
    const WebpPhoto& photo = Photo();
    for (auto _ : state) {
        std::FILE* stream = OpenRegularFile(photo.path.c_str());
        if (stream == nullptr) {
            state.SkipWithError("no photo");
            break;
        }
        OxHolder<OxFile> file(new OxAnsiFile(stream));
        OxHolder<OxSurface> picture(ReadPicture(file.get()).picture);
        if (!picture || picture->width != kPhotoWidth) {
            state.SkipWithError("ReadPicture failed");
            break;
        }
        benchmark::DoNotOptimize(picture->readPixels);
    }
}

void BM_DecodeBareWebp(benchmark::State& state)
{
    const WebpPhoto& photo = Photo();
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        uint8_t* pixels = WebPDecodeRGBA(photo.bytes.data(), photo.bytes.size(), &width, &height);
        if (pixels == nullptr) {
            state.SkipWithError("libwebp failed");
            break;
        }
        benchmark::DoNotOptimize(pixels);
        WebPFree(pixels);
    }
}

// The decode alone, without the allocation: into one store made and faulted in before the
// timing, the floor under both figures above.
void BM_DecodeBareWebpInto(benchmark::State& state)
{
    const WebpPhoto& photo = Photo();
    const int pitch = kPhotoWidth * 4;
    std::vector<uint8_t> store(size_t(pitch) * kPhotoHeight, 0);
    for (auto _ : state) {
        if (WebPDecodeRGBAInto(photo.bytes.data(), photo.bytes.size(), store.data(), store.size(),
                               pitch) == nullptr) {
            state.SkipWithError("libwebp failed");
            break;
        }
        benchmark::DoNotOptimize(store.data());
    }
}

}  // namespace

BENCHMARK(BM_ReadWebp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeBareWebp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeBareWebpInto)->Unit(benchmark::kMillisecond)->UseRealTime();
