// Turning a photo upright as it loads: the 12-megapixel JPEG tagged 6 (stored on its side,
// as a phone held upright writes it) against the same file without the tag, in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "bench/support/photo.h"
#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"

namespace {

// The photo's JPEG file as stored and tagged, in the temporary folder while the program runs.
struct PhotoFiles {
    std::string upright;
    std::string tagged;
    bool made = false;

    PhotoFiles()
    {
        const std::filesystem::path folder = std::filesystem::temp_directory_path();
        const std::string stem = "glowview-orient-bench-" + std::to_string(std::random_device{}());
        upright = (folder / (stem + ".jpg")).string();
        tagged = (folder / (stem + "-6.jpg")).string();
        OxHolder<OxSurface> photo(CreateSyntheticPhoto(kPhotoWidth, kPhotoHeight));
        made = photo && WritePhotoJpeg(photo.get(), upright) &&
               WritePhotoJpeg(photo.get(), tagged, 6);
    }
    ~PhotoFiles()
    {
        std::remove(upright.c_str());
        std::remove(tagged.c_str());
    }
};

const PhotoFiles& Files()
{
    static const PhotoFiles files;
    return files;
}

// ReadPicture over the file, as the program loads a dropped picture.
void BM_LoadJpeg(benchmark::State& state, bool tagged)
{
    const PhotoFiles& files = Files();
    if (!files.made) {
        state.SkipWithError("cannot write the photo's files");
        return;
    }
    const std::string& path = tagged ? files.tagged : files.upright;
    for (auto _ : state) {
        OxHolder<OxFile> file(new OxAnsiFile(OpenRegularFile(path.c_str())));
        OxHolder<OxSurface> picture(ReadPicture(file.get()).picture);
        if (!picture || picture->width != (tagged ? kPhotoHeight : kPhotoWidth)) {
            state.SkipWithError("the photo was not read as expected");
            return;
        }
        benchmark::DoNotOptimize(picture->readPixels);
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_LoadJpeg, upright, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LoadJpeg, tagged6, true)->Unit(benchmark::kMillisecond)->UseRealTime();
