// Helpers shared by the tests: test data paths, temporary directories, captured output,
// files in memory, hashes, search roots and the fixed-function driver setting.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/assets.h"
#include "foundation/file.h"

// Path of a file below the shared test data folder.
std::string TestdataPath(const std::string& relative);

// Whole contents of a file; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
// The first count bytes (all of them when fewer): a file cut short.
std::vector<uint8_t> Head(std::vector<uint8_t> bytes, size_t count);
// The PNG with a tEXt chunk whose checksum is wrong right after its header: libpng warns
// ("tEXt: CRC error") and goes on.
std::vector<uint8_t> WithBadTextChunk(const std::vector<uint8_t>& png);
// The PNG with the sizes in its header replaced, the header's checksum made again: a
// picture that claims more rows or columns than its data holds.
std::vector<uint8_t> WithPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height);
// The JPEG with the sizes in its first baseline or progressive frame header replaced.
std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpeg, int width, int height);

// What the call writes to standard output.
std::string StdoutOf(const std::function<void()>& call);
// Ends a testing::internal::CaptureStdout() and returns what was written, C stdio included.
std::string FinishCapture();

// How often part stands in text, overlapping places counted.
int CountOf(const std::string& text, const std::string& part);

// path with every '/' turned into the native separator ('\\' on Windows), as
// the path functions join names.
std::string NativePath(std::string path);

// Runs a shell command of the machine that hosts the display (xdotool, the
// XDND tool) and gives its exit status, as std::system does on Linux. Under
// Wine the command runs in the Unix shell; on Windows itself there is no such
// shell and the status is -1.
// With output, its standard output is put there.
int RunHostCommand(const std::string& command, std::string* output = nullptr);

// A fresh directory below the system's temporary folder (its path spelt as the program
// keeps paths: UTF-8 on Windows), removed with its contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + NativePath("/" + name); }

private:
    std::string path_;
};

// Makes the current directory `path` for the lifetime of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& path);
    ~ScopedCurrentDir();

private:
    std::string previous_;
};

// An OxFile over bytes in memory; size, when not -1, is what GetSize claims (more than the
// bytes held, to stand for a huge file).
class MemoryFile : public OxFile {
public:
    explicit MemoryFile(std::vector<uint8_t> bytes, long size = -1);

    int Read(void* buffer, int byteCount) override;
    int Write(const void*, int) override { return 0; }
    int Seek(int offset, int origin) override;
    int Tell() override;
    int GetSize() override { return int(size_); }

private:
    std::vector<uint8_t> bytes_;
    long size_;
    long position_ = 0;
};

// A file below the shared test data folder opened for reading, or null (a test failure).
OxFile* OpenTestdataFile(const std::string& relative);

// Writes a width x height RGB PNG (WritePng) whose pixel (x, y) pixel() fills in;
// false when the file cannot be written.
bool WriteTestPng(const std::string& file, int width, int height,
                  const std::function<void(int x, int y, uint8_t* rgb)>& pixel);

// 64-bit FNV-1a hash of bytes, to compare decoded pictures against recorded values.
uint64_t Fnv1a(const uint8_t* bytes, size_t count);
inline uint64_t Fnv1a(const std::vector<uint8_t>& bytes)
{
    return Fnv1a(bytes.data(), bytes.size());
}

// Empties the process-wide search roots when made and when it goes, so that the roots a
// test registers (or a CWin it makes registers) reach no other test.
class ScopedSearchRoots {
public:
    ScopedSearchRoots() { ClearSearchRoots(); }
    ~ScopedSearchRoots() { ClearSearchRoots(); }
    ScopedSearchRoots(const ScopedSearchRoots&) = delete;
    ScopedSearchRoots& operator=(const ScopedSearchRoots&) = delete;
};

// True in the run of a test program on a driver that offers only OpenGL 1.5, without
// GLSL. CTest makes that run a process of its own with MESA_GL_VERSION_OVERRIDE=1.5 set:
// Mesa reads the variable once per process, and GLEW keeps the entry points it loaded.
bool FixedFunctionDriver();

// A fixture for tests that need that driver; in any other run they are skipped. Their
// suite names end in FixedFunctionTest, which is how CTest picks them for that run.
template <typename Base>
class FixedFunctionFixture : public Base {
protected:
    void SetUp() override
    {
        if (!FixedFunctionDriver())
            GTEST_SKIP() << "runs with MESA_GL_VERSION_OVERRIDE=1.5 (the gl15. CTest entries)";
        Base::SetUp();
    }
};
