// Loading a picture through the application: one open and one read of the file per load,
// whatever the file, and the one line that says why a load failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/assets.h"
#include "foundation/picture.h"
#include "src/app.h"
#include "src/globals.h"
#include "src/loading.h"
#include "app/app_fixture.h"
#include "counting_file.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The opens of a load, and the last file opened, held for the test after the load let it go.
struct OpenCount {
    int opens = 0;
    OxHolder<CountingFile> last;
};
OpenCount s_count;

OxFile* CountingOpen(const char* name, OpenProblem* why)
{
    ++s_count.opens;
    OxFile* file = OpenAssetFile(name, why);
    if (file == nullptr)
        return nullptr;
    s_count.last.Reset(new CountingFile(file));
    ++s_count.last->refCount;  // the load's reference
    return s_count.last.get();
}

class LoadingTest : public AppStartUpTest {
protected:
    void TearDown() override
    {
        SetPictureOpener(nullptr);
        s_count.last.Reset();
        AppStartUpTest::TearDown();
    }
};

}  // namespace

TEST_F(LoadingTest, EachLoadOpensTheFileOnceAndReadsItOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartUp());
    TempDir dir;
    const Bytes png = ReadWholeFile(TestdataPath("pngsuite/basn2c08.png"));
    const Bytes jpeg = ReadWholeFile(TestdataPath("jpeg/testorig.jpg"));
    Bytes warned(png.begin(), png.begin() + 33);  // a tEXt chunk with a wrong checksum
    const Bytes badText = {0, 0, 0, 4, 't', 'E', 'X', 't', 'a', 0, 'b', 'c', 0, 0, 0, 0};
    warned.insert(warned.end(), badText.begin(), badText.end());
    warned.insert(warned.end(), png.begin() + 33, png.end());
    struct Row {
        const char* what;
        const char* name;
        Bytes bytes;
        bool loads;
        long bytesRead;   // -1: the whole file
        const char* said; // the line on standard error after "glowview: <path>: "
    };
    const Row rows[] = {
        {"a clean PNG", "clean.png", png, true, -1, ""},
        {"a clean JPEG", "clean.jpg", jpeg, true, -1, ""},
        {"a PNG with a libpng warning", "warned.png", warned, true, -1, ""},
        {"a truncated JPEG", "cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), true,
         -1, "truncated, shown as far as it goes"},
        {"a damaged PNG", "damaged.png", ReadWholeFile(TestdataPath("pngsuite/xhdn0g08.png")),
         false, -1, "damaged"},
        {"a text file", "notes.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'},
         false, 8, "not a PNG or JPEG picture"},
        {"a missing file", "missing.png", {}, false, 0, "no such file"},
        {"a directory", "folder", {}, false, 0, "is a directory"},
    };
    std::filesystem::create_directory(dir.File("folder"));
    SetPictureOpener(CountingOpen);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = dir.File(row.name);
        if (!row.bytes.empty()) {
            ASSERT_TRUE(WriteWholeFile(path, row.bytes));
        }
        s_count.opens = 0;
        s_count.last.Reset();
        testing::internal::CaptureStderr();
        StdoutOf([&] { EXPECT_EQ(g_app->LoadPicture(path.c_str()), row.loads); });
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(s_count.opens, 1);
        const long bytesRead = s_count.last ? s_count.last->bytesRead : 0;
        EXPECT_EQ(bytesRead, row.bytesRead < 0 ? long(row.bytes.size()) : row.bytesRead);
        if (s_count.last) {
            EXPECT_EQ(s_count.last->refCount, 1) << "the load let its file go";
        }
        EXPECT_EQ(said, row.said[0] == '\0' ? "" : "glowview: " + path + ": " + row.said + "\n");
    }
}
