// The list of pictures to page through and the place of the shown and the asked-for picture.
#include "src/picture_list.h"

#include <algorithm>
#include <cstring>

#include "foundation/file.h"
#include "foundation/natural_order.h"

namespace {

const char* const kPictureExtensions[] = {".png", ".jpg", ".jpeg", ".jpe", ".webp"};

bool EndsWithNoCase(const std::string& text, const char* ending)
{
    const size_t length = std::strlen(ending);
    if (text.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char c = text[text.size() - length + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != ending[i])
            return false;
    }
    return true;
}

// The length of the path's folder part, its last separator included.
size_t FolderLength(const std::string& path)
{
    size_t length = path.size();
    while (length > 0 && !IsPathSeparator(path[length - 1]))
        --length;
    return length;
}

const char* NameOf(const std::string& path)
{
    return path.c_str() + FolderLength(path);
}

bool NaturallyBefore(const std::string& a, const std::string& b)
{
    return CompareNatural(NameOf(a), NameOf(b)) < 0;
}

// The index of path in paths, -1 when it is not there.
int IndexOf(const std::vector<std::string>& paths, const std::string& path)
{
    const auto found = std::find(paths.begin(), paths.end(), path);
    return found == paths.end() ? -1 : int(found - paths.begin());
}

// The index of the listed path that names the same file as path, -1 when none does.
// NOTE: Windows' file names ignore case, so a picture named "IMG1.PNG" by the user is the
// "img1.png" of the listing; elsewhere names are bytes.
int IndexOfSameFile(const std::vector<std::string>& paths, const std::string& path)
{
    const int exact = IndexOf(paths, path);
#ifdef _WIN32
    if (exact < 0) {
        const auto found =
            std::find_if(paths.begin(), paths.end(), [&path](const std::string& listed) {
                return ComparePaths(listed.c_str(), path.c_str(), false) == 0;
            });
        return found == paths.end() ? -1 : int(found - paths.begin());
    }
#endif
    return exact;
}

}  // namespace

bool HasPictureExtension(const std::string& name)
{
    for (const char* extension : kPictureExtensions) {
        if (EndsWithNoCase(name, extension))
            return true;
    }
    return false;
}

void SortPictureNames(std::vector<std::string>* names)
{
    names->erase(std::remove_if(names->begin(), names->end(),
                                [](const std::string& name) { return !HasPictureExtension(name); }),
                 names->end());
    std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
        return CompareNatural(a.c_str(), b.c_str()) < 0;
    });
}

void CPictureList::SetFiles(const std::vector<std::string>& paths)
{
    folder_.clear();
    prefix_.clear();
    paths_ = paths;
    shown_ = -1;
    startWithListing_ = false;
    Ask(paths_.empty() ? -1 : 0, +1);
}

void CPictureList::SetFile(const std::string& path)
{
    prefix_ = path.substr(0, FolderLength(path));
    folder_ = prefix_.empty() ? "." : prefix_;
    paths_.assign(1, path);
    shown_ = -1;
    startWithListing_ = false;
    Ask(0, 0);
}

void CPictureList::SetFolder(const std::string& folder)
{
    folder_ = folder.empty() ? "." : folder;
    prefix_ = folder;
    if (!prefix_.empty() && !IsPathSeparator(prefix_.back()))
        prefix_ += '/';
    paths_.clear();
    shown_ = -1;
    target_ = -1;
    direction_ = 0;
    startWithListing_ = true;
}

int CPictureList::TakeListing(const std::vector<std::string>& names)
{
    const std::string shownPath = shown_ >= 0 ? paths_[size_t(shown_)] : std::string();
    const std::string targetPath = target_ >= 0 ? paths_[size_t(target_)] : std::string();
    std::vector<std::string> paths;
    paths.reserve(names.size() + 2);
    for (const std::string& name : names)
        paths.push_back(prefix_ + name);
    // The pictures shown and asked for stay in the list, at their place in the order, with
    // the spelling they were read by.
    for (const std::string* kept : {&shownPath, &targetPath}) {
        if (kept->empty())
            continue;
        const int same = IndexOfSameFile(paths, *kept);
        if (same >= 0)
            paths[size_t(same)] = *kept;
        else
            paths.insert(std::upper_bound(paths.begin(), paths.end(), *kept, NaturallyBefore),
                         *kept);
    }
    paths_ = std::move(paths);
    shown_ = shownPath.empty() ? -1 : IndexOf(paths_, shownPath);
    target_ = targetPath.empty() ? -1 : IndexOf(paths_, targetPath);
    if (!startWithListing_)
        return -1;
    startWithListing_ = false;
    return Jump(+1);
}

int CPictureList::Ask(int index, int direction)
{
    target_ = index;
    direction_ = direction;
    return index;
}

int CPictureList::Step(int step)
{
    const int from = target_ >= 0 ? target_ : shown_;
    if (from < 0)
        return -1;
    const int to = from + step;
    if (to < 0 || to >= Count())
        return -1;
    return Ask(to, step > 0 ? +1 : -1);
}

int CPictureList::Jump(int direction)
{
    if (paths_.empty())
        return -1;
    return Ask(direction > 0 ? 0 : Count() - 1, direction > 0 ? +1 : -1);
}

void CPictureList::MarkShown()
{
    shown_ = target_;
    target_ = -1;
    direction_ = 0;
}

int CPictureList::PassOver()
{
    const int next = target_ >= 0 && direction_ != 0 ? target_ + direction_ : -1;
    if (next < 0 || next >= Count()) {
        target_ = -1;
        direction_ = 0;
        return -1;
    }
    target_ = next;
    return next;
}
