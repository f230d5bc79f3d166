// Helpers shared by the tests.
#include "test_support.h"

#include "foundation/file.h"
#include "foundation/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <utility>

#include <zlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::string TestdataPath(const std::string& relative)
{
    return std::string(GLOWVIEW_TESTDATA_DIR) + "/" + relative;
}

std::vector<uint8_t> Head(std::vector<uint8_t> bytes, size_t count)
{
    bytes.resize(std::min(count, bytes.size()));
    return bytes;
}

std::vector<uint8_t> WithBadTextChunk(const std::vector<uint8_t>& png)
{
    const std::vector<uint8_t> chunk = {0, 0, 0, 4, 't', 'E', 'X', 't', 'a', 0, 'b', 'c', 0, 0, 0, 0};
    const size_t afterHeader = std::min<size_t>(33, png.size());
    std::vector<uint8_t> out(png.begin(), png.begin() + afterHeader);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + afterHeader, png.end());
    return out;
}

std::vector<uint8_t> WithPngSize(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    // The signature, then IHDR: length, type, width, height, ..., checksum at 29.
    if (png.size() < 33)
        return png;
    for (int i = 0; i < 4; ++i) {
        png[size_t(16 + i)] = uint8_t(width >> (24 - 8 * i));
        png[size_t(20 + i)] = uint8_t(height >> (24 - 8 * i));
    }
    const uint32_t sum = uint32_t(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[size_t(29 + i)] = uint8_t(sum >> (24 - 8 * i));
    return png;
}

std::vector<uint8_t> WithJpegSize(std::vector<uint8_t> jpeg, int width, int height)
{
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = uint8_t(height >> 8);
            jpeg[i + 6] = uint8_t(height);
            jpeg[i + 7] = uint8_t(width >> 8);
            jpeg[i + 8] = uint8_t(width);
            break;
        }
    }
    return jpeg;
}

// Through the program's own open, so that names in UTF-8 are written and read on Windows too.
std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(OpenFile(path.c_str(), "rb"), std::fclose);
    if (!in)
        return bytes;
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), in.get())) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* out = OpenFile(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
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

std::string NativePath(std::string path)
{
#ifdef _WIN32
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
#endif
    return path;
}

#ifdef _WIN32
// Wine starts a Unix program for CreateProcess but keeps no exit status, so
// the shell writes it to a file; both files sit in /tmp, which Wine shows as
// Z:\tmp.
int RunHostCommand(const std::string& command, std::string* output)
{
    static int serial = 0;
    const std::string base = "/tmp/glowview-host-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(serial++);
    const std::string script = base + ".sh";
    const std::string status = base + ".status";
    if (!WriteWholeFile("Z:" + script, std::vector<uint8_t>(command.begin(), command.end())))
        return -1;
    const std::string out = base + ".out";
    std::string line = "/bin/sh -c \"/bin/sh " + script + " > " + out + "; echo $? > " + status +
                       ".part; mv " + status + ".part " + status + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    int result = -1;
    for (int i = 0; i < 3000; ++i) {  // up to a minute
        const std::vector<uint8_t> text = ReadWholeFile("Z:" + status);
        if (!text.empty()) {
            result = std::atoi(std::string(text.begin(), text.end()).c_str());
            break;
        }
        Sleep(20);
    }
    if (output) {
        const std::vector<uint8_t> text = ReadWholeFile("Z:" + out);
        output->assign(text.begin(), text.end());
    }
    std::error_code ignored;
    fs::remove("Z:" + script, ignored);
    fs::remove("Z:" + status, ignored);
    fs::remove("Z:" + out, ignored);
    return result;
}
#else
int RunHostCommand(const std::string& command, std::string* output)
{
    if (!output)
        return std::system(command.c_str());
    output->clear();
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
        output->append(buffer, n);
    return pclose(pipe);
}
#endif

#ifdef _WIN32
// Windows has no mkdtemp: a random name that create_directory makes anew is
// just as private.
TempDir::TempDir()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof(name), "glowview-test-%08x", unsigned(random()));
        const fs::path candidate = fs::temp_directory_path() / name;
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.u8string();
            return;
        }
    }
    std::abort();
}
#else
TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "glowview-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        std::abort();
    path_ = buffer.data();
}
#endif

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(fs::u8path(path_), ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::string& path)
    : previous_(fs::current_path().u8string())
{
    fs::current_path(fs::u8path(path));
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    std::error_code ignored;
    fs::current_path(fs::u8path(previous_), ignored);
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

bool WriteTestPng(const std::string& file, int width, int height,
                  const std::function<void(int x, int y, uint8_t* rgb)>& pixel)
{
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            pixel(x, y, &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]);
    }
    std::FILE* stream = std::fopen(file.c_str(), "wb");
    if (!stream)
        return false;
    const int result = WritePng(width, height, rgb.data(), stream);
    std::fclose(stream);
    return result == 0;
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
