// Reading straight to RGBA: the same pixels as the reporting readers and a conversion, and
// silence (null, no log line) for everything those readers should report or handle.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/picture.h"
#include "foundation/ref.h"
#include "foundation/surface.h"
#include "test_support.h"

namespace {

OxFile* OpenFile(const std::string& path)
{
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    return stream ? new OxAnsiFile(stream) : nullptr;
}

// What ReadPng, then ReadJpeg, then a conversion to PF_RGBA give; null when they refuse.
OxSurface* ReadThroughReporters(const std::string& path)
{
    OxHolder<OxFile> pngFile(OpenFile(path));
    OxHolder<OxSurface> picture(ReadPng(pngFile.get()));
    if (!picture) {
        OxHolder<OxFile> jpegFile(OpenFile(path));
        picture.Reset(ReadJpeg(jpegFile.get()));
    }
    if (!picture)
        return nullptr;
    const int pitch = picture->width * 4;
    OxSurface* rgba =
        CreateSurface(pitch * picture->height, picture->width, picture->height, PF_RGBA, pitch);
    if (ConvertPixels(pitch, rgba->writePixels, PF_RGBA, picture.get()) != 0) {
        OxRelease(rgba);
        return nullptr;
    }
    return rgba;
}

}  // namespace

// Every public test picture: a quiet read either matches the reporting readers byte for byte
// or gives null without a word; the common kinds must not give null.
TEST(ReadRgbaQuietlyTest, MatchesTheReportingReadersOnEveryTestPicture)
{
    int matched = 0;
    std::vector<std::string> quietNulls;
    for (const char* folder : {"pngsuite", "jpeg"}) {
        for (const auto& entry : std::filesystem::directory_iterator(TestdataPath(folder))) {
            const std::string path = entry.path().string();
            SCOPED_TRACE(path);
            OxHolder<OxSurface> quiet;
            const std::string log = StdoutOf([&] {
                OxHolder<OxFile> file(OpenFile(path));
                quiet.Reset(ReadRgbaQuietly(file.get()));
            });
            EXPECT_EQ(log, "");
            OxHolder<OxSurface> want;
            StdoutOf([&] { want.Reset(ReadThroughReporters(path)); });
            if (!quiet) {
                quietNulls.push_back(entry.path().filename().string());
                continue;
            }
            ASSERT_TRUE(want) << "the quiet read accepted what the readers refuse";
            ASSERT_EQ(quiet->format, PF_RGBA);
            ASSERT_EQ(quiet->width, want->width);
            ASSERT_EQ(quiet->height, want->height);
            ASSERT_EQ(quiet->pitch, quiet->width * 4);
            EXPECT_EQ(std::memcmp(quiet->readPixels, want->readPixels,
                                  size_t(want->pitch) * size_t(want->height)),
                      0);
            ++matched;
        }
    }
    // Palette PNGs and broken files are left to the reporting readers;
    // photo-like kinds are not.
    for (const std::string& name : quietNulls) {
        EXPECT_NE(name, "testorig.jpg");
        EXPECT_NE(name, "testimggray.jpg");
        EXPECT_NE(name, "testimgp.jpg");
        EXPECT_NE(name, "basn2c08.png");
        EXPECT_NE(name, "basn6a16.png");
        EXPECT_NE(name, "basi0g04.png");
    }
    EXPECT_GT(matched, 60);
}

TEST(ReadRgbaQuietlyTest, NullWithoutAWordForOtherFiles)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> cutJpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    cutJpeg.resize(cutJpeg.size() / 2);
    const Case cases[] = {
        {"empty", {}},
        {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
        {"cut jpeg", cutJpeg},  // decodes with a warning: left to ReadJpeg to report
        {"jpeg marker only", {0xFF, 0xD8, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("file");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        const std::string log = StdoutOf([&] {
            OxHolder<OxFile> file(OpenFile(path));
            EXPECT_EQ(ReadRgbaQuietly(file.get()), nullptr);
        });
        EXPECT_EQ(log, "");
    }
    EXPECT_EQ(ReadRgbaQuietly(nullptr), nullptr);
}
