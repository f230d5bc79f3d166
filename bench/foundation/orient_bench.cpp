// Turning a photo upright as it loads: the 12-megapixel JPEG tagged 6 (stored on its side,
// as a phone held upright writes it) against the same file without the tag, in one run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/support/photo.h"
#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An APP1 "Exif" segment whose TIFF block holds only the orientation (big-endian).
Bytes ExifSegment(uint8_t orientation)
{
    return {0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0,
            'M',  'M',  0,    42,   0,   0,   0,   8,   0, 1,
            0x01, 0x12, 0,    3,    0,   0,   0,   1,   0, orientation, 0, 0,
            0,    0,    0,    0};
}

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
        if (!photo || !WritePhotoJpeg(photo.get(), upright))
            return;
        std::ifstream in(upright, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Bytes segment = ExifSegment(6);
        bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
        std::ofstream out(tagged, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        made = bytes.size() > 2 && bool(out);
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
