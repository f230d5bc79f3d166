// Helpers shared by the tests.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace fs = std::filesystem;

std::string TestdataPath(const std::string& relative)
{
    return std::string(GLOWVIEW_TESTDATA_DIR) + "/" + relative;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::string StdoutOf(const std::function<void()>& call)
{
    testing::internal::CaptureStdout();
    call();
    return FinishCapture();
}

std::string FinishCapture()
{
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "glowview-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        std::abort();
    path_ = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::string& path)
    : previous_(fs::current_path().string())
{
    fs::current_path(path);
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

MemoryFile::MemoryFile(std::vector<uint8_t> bytes, long size)
    : bytes_(std::move(bytes)), size_(size >= 0 ? size : long(bytes_.size()))
{
}

int MemoryFile::Read(void* buffer, int byteCount)
{
    const long left = std::max(0L, long(bytes_.size()) - position_);
    const long count = std::min(left, long(std::max(byteCount, 0)));
    if (count > 0)
        std::memcpy(buffer, bytes_.data() + position_, size_t(count));
    position_ += count;
    return int(count);
}

int MemoryFile::Seek(int offset, int origin)
{
    const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? position_ : size_;
    if (base + offset < 0)
        return -1;
    position_ = base + offset;
    return 0;
}

int MemoryFile::Tell()
{
    return position_ > INT_MAX ? -1 : int(position_);
}

OxFile* OpenTestdataFile(const std::string& relative)
{
    std::FILE* stream = std::fopen(TestdataPath(relative).c_str(), "rb");
    if (stream == nullptr) {
        ADD_FAILURE() << "cannot open " << relative;
        return nullptr;
    }
    return new OxAnsiFile(stream);
}

uint64_t Fnv1a(const uint8_t* bytes, size_t count)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3ull;
    return hash;
}

bool FixedFunctionDriver()
{
    const char* version = std::getenv("MESA_GL_VERSION_OVERRIDE");
    return version && std::strcmp(version, "1.5") == 0;
}
