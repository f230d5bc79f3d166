// Search roots and the resolution of asset names: below the roots' directories,
// then as members of archive roots.
#include "foundation/assets.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "foundation/archive.h"

namespace {

std::vector<std::string>& SearchRoots()
{
    static std::vector<std::string> roots;
    return roots;
}

// A recursive root "dir/*" (or "dir*") walks "dir".
bool RecursiveRootDirectory(const std::string& root, char* directory)
{
    std::string walked = root.substr(0, root.size() - 1);
    if (walked.size() >= 2 && IsPathSeparator(walked.back()))
        walked.pop_back();
    return CopyPathText(directory, walked.c_str());
}

bool FindBelowRoot(const std::string& root, const char* name, char* resolved)
{
    if (CopyPathText(resolved, root.c_str()) && JoinPathName(resolved, name) && PathExists(resolved))
        return true;
    if (root.empty() || root.back() != '*')
        return false;
    char directory[kMaxPath];
    if (!RecursiveRootDirectory(root, directory))
        return false;
    CFind finder(name);
    WalkDirectory(directory, true, &finder);
    return finder.found[0] != '\0' && CopyPathText(resolved, finder.found);
}

}  // namespace

OxFile* OpenAssetFile(const char* name, OpenProblem* why)
{
    OpenProblem ignored;
    OpenProblem& problem = why != nullptr ? *why : ignored;
    problem = OPEN_NO_SUCH_FILE;
    if (name == nullptr)
        return nullptr;
    char resolved[kMaxPath];
    if (!FindInDirectories(name, resolved) && !FindInArchives(name, resolved)) {
        // A link that leads nowhere is there, but cannot be opened.
        if (PathOrLinkExists(name))
            problem = OPEN_FAILED;
        return nullptr;
    }
    // An archive member resolves to "<archive>@@<name>", which names no file.
    std::FILE* stream = OpenRegularFile(resolved);
    if (stream == nullptr) {
        problem = IsDirectoryPath(resolved) ? OPEN_DIRECTORY : OPEN_FAILED;
        return nullptr;
    }
    OxFile* file = new (std::nothrow) OxAnsiFile(stream);
    if (file == nullptr) {
        std::fclose(stream);
        problem = OPEN_FAILED;
        return nullptr;
    }
    problem = OPEN_FINE;
    return file;
}

int AddSearchRoot(const char* path)
{
    if (path == nullptr)
        return -1;
    // A root that does not exist yet is kept: lookups simply find nothing there.
    SearchRoots().emplace_back(path);
    return (IsDirectoryPath(path) || PathExists(path)) ? 0 : -1;
}

void ClearSearchRoots()
{
    SearchRoots().clear();
}

bool FindInDirectories(const char* name, char* resolved)
{
    if (resolved == nullptr)
        return false;
    resolved[0] = '\0';
    if (name == nullptr || !CopyPathText(resolved, name))
        return false;
    if (PathExists(resolved))
        return true;
    for (const std::string& root : SearchRoots()) {
        if (FindBelowRoot(root, name, resolved))
            return true;
    }
    resolved[0] = '\0';
    return false;
}

bool FindInArchives(const char* name, char* resolved)
{
    if (resolved == nullptr)
        return false;
    resolved[0] = '\0';
    if (name == nullptr)
        return false;
    const size_t nameLength = std::strlen(name);
    for (const std::string& root : SearchRoots()) {
        const char* path = root.c_str();
        if (root.size() + 2 + nameLength >= size_t(kMaxPath))
            continue;
        if (!PathExists(path) || IsDirectoryPath(path))
            continue;
        if (!IsZipArchive(path) && !IsPackArchive(path))
            continue;
        if (!ArchiveHasMember(path, name))
            continue;
        std::snprintf(resolved, size_t(kMaxPath), "%s@@%s", path, name);
        return true;
    }
    return false;
}
