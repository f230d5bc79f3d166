// Fuzz target: path comparison, trimming and the resolution of names against
// a small temporary tree of search roots. The input holds two texts split at
// the first zero byte.
#include <cstdlib>
#include <cstring>
#include <string>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/assets.h"
#include "foundation/file.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void WriteFile(const std::string& path, const char* text)
{
    if (std::FILE* stream = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, stream);
        std::fclose(stream);
    }
}

// A tree with a plain root, a recursive root and a ZIP root, made once per process.
void MakeTree()
{
    static bool made = false;
    if (made)
        return;
    made = true;
    char pattern[] = "/tmp/glowview-path-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr)
        std::abort();
    const std::string root(dir);
    WriteFile(root + "/a.png", "a");
    WriteFile(root + "/Name With Spaces.jpg", "b");
    mkdir((root + "/sub").c_str(), 0700);
    mkdir((root + "/sub/deeper").c_str(), 0700);
    WriteFile(root + "/sub/deeper/c.png", "c");
    WriteFile(root + "/sub/\xc3\xa9t\xc3\xa9.png", "d");
    // A ZIP whose one member, "m.png", is stored with no data.
    static const unsigned char zip[] = {
        0x50, 0x4b, 0x03, 0x04, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 'm', '.', 'p', 'n', 'g'};
    if (std::FILE* stream = std::fopen((root + "/pack.zip").c_str(), "wb")) {
        std::fwrite(zip, 1, sizeof zip, stream);
        std::fclose(stream);
    }
    AddSearchRoot(root.c_str());
    AddSearchRoot((root + "/sub/*").c_str());
    AddSearchRoot((root + "/pack.zip").c_str());
    // The tree goes when the process does.
    static struct Remover {
        std::string path;
        ~Remover() { std::system(("rm -rf '" + path + "'").c_str()); }
    } remover{root};
}

void CheckTrim(const std::string& text)
{
    char trimmed[kMaxPath];
    if (!TrimSpaces(text.c_str(), trimmed))
        return;
    const size_t length = std::strlen(trimmed);
    if (length > 0 && (IsBlank(trimmed[0]) || IsBlank(trimmed[length - 1])))
        std::abort();
    // Trimming twice changes nothing, and a path equals itself.
    char again[kMaxPath];
    if (!TrimSpaces(trimmed, again) || std::strcmp(trimmed, again) != 0)
        std::abort();
    if (ComparePaths(text.c_str(), text.c_str(), true) != 0 ||
        ComparePaths(text.c_str(), text.c_str(), false) != 0)
        std::abort();
}

void CheckCompare(const std::string& a, const std::string& b)
{
    for (bool exact : {true, false}) {
        const int ab = ComparePaths(a.c_str(), b.c_str(), exact);
        const int ba = ComparePaths(b.c_str(), a.c_str(), exact);
        if (ab < -1 || ab > 1 || (ab == 0) != (ba == 0))
            std::abort();
    }
    if (ComparePaths(a.c_str(), b.c_str(), true) == 0 &&
        ComparePaths(a.c_str(), b.c_str(), false) != 0)
        std::abort();
}

void CheckResolve(const std::string& name)
{
    char resolved[kMaxPath];
    if (FindInDirectories(name.c_str(), resolved) && std::strlen(resolved) >= size_t(kMaxPath))
        std::abort();
    if (FindInArchives(name.c_str(), resolved) && std::strlen(resolved) >= size_t(kMaxPath))
        std::abort();
    OxRelease(OpenAssetFile(name.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MakeTree();
    const char* text = size > 0 ? reinterpret_cast<const char*>(data) : "";
    const void* zero = size > 0 ? std::memchr(data, 0, size) : nullptr;
    const size_t split = zero != nullptr ? size_t(static_cast<const uint8_t*>(zero) - data) : size;
    const std::string a(text, split);
    const std::string b = split < size ? std::string(text + split + 1, size - split - 1) : "";
    // Zero bytes inside the second text end it, as they would for a caller.
    const std::string second(b.c_str());
    CheckTrim(a);
    CheckCompare(a, second);
    CheckResolve(a);
    return 0;
}
