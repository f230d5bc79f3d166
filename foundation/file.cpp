// OxAnsiFile, opening files (UTF-8 paths made wide on Windows), path joining, directory
// walks and path comparison.
#include "foundation/file.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/log.h"
#include "foundation/utf8.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

OxAnsiFile::~OxAnsiFile()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
}

int OxAnsiFile::Read(void* buffer, int byteCount)
{
    if (stream_ == nullptr || buffer == nullptr || byteCount <= 0)
        return 0;
    return int(std::fread(buffer, 1, size_t(byteCount), stream_));
}

int OxAnsiFile::Write(const void* buffer, int byteCount)
{
    if (stream_ == nullptr || buffer == nullptr || byteCount <= 0)
        return 0;
    return int(std::fwrite(buffer, 1, size_t(byteCount), stream_));
}

int OxAnsiFile::Seek(int offset, int origin)
{
    if (stream_ == nullptr)
        return -1;
    return std::fseek(stream_, offset, origin);
}

int OxAnsiFile::Tell()
{
    if (stream_ == nullptr)
        return -1;
    const long position = std::ftell(stream_);
    // A position past what 32 bits hold is reported as a failure, not wrapped.
    if (position < 0 || position > INT_MAX)
        return -1;
    return int(position);
}

int OxAnsiFile::GetSize()
{
    const int p = Tell();
    Seek(0, SEEK_SET);
    const int a = Tell();
    Seek(0, SEEK_END);
    const int b = Tell();
    Seek(p, SEEK_SET);
    return b - a;
}

namespace {

#ifdef _WIN32
constexpr char kNativeSeparator = '\\';

// The path as the system's wide calls take it; false, with one log line, when it is not
// UTF-8 and so names no file.
bool WidePath(const char* path, std::wstring* wide)
{
    if (WideFromUtf8(path, wide))
        return true;
    LogMessage(__LINE__, "", LOG_ERROR, "PATH_NOT_UTF8: %s", path);
    return false;
}

// The path for std::filesystem, whose narrow paths are not UTF-8 on Windows; empty (no
// file) when it is not UTF-8.
fs::path SystemPath(const char* path)
{
    std::wstring wide;
    WidePath(path, &wide);
    return fs::path(wide);
}

// A name the system gives, in UTF-8; false for a name that is not UTF-16 (a lone surrogate).
bool NameText(const wchar_t* name, std::string* text)
{
    return Utf8FromWide(name, text);
}
#else
constexpr char kNativeSeparator = '/';

// Paths are bytes here, whatever their encoding.
fs::path SystemPath(const char* path)
{
    return fs::path(path);
}

bool NameText(const char* name, std::string* text)
{
    *text = name;
    return true;
}
#endif


// The default locale's white space; bytes of 0x80 and above never count.
bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

fs::file_status StatusOf(const char* path)
{
    std::error_code ignored;
    return fs::status(SystemPath(path), ignored);
}

bool PathFileExists(const char* path)
{
    return fs::exists(StatusOf(path));
}

bool PathIsDirectory(const char* path)
{
    return fs::is_directory(StatusOf(path));
}

// Copies text into a kMaxPath buffer; a text that would not fit is refused
// rather than cut into the name of another file.
bool CopyPath(char* destination, const char* text)
{
    const size_t length = std::strlen(text);
    if (length >= size_t(kMaxPath)) {
        destination[0] = '\0';
        return false;
    }
    std::memcpy(destination, text, length + 1);
    return true;
}

// Appends more to path with one native separator between them, never two.
bool AppendPath(char* path, const char* more)
{
    while (IsPathSeparator(*more))
        ++more;
    if (*more == '\0')
        return true;
    const size_t length = std::strlen(path);
    const bool addSeparator = length > 0 && !IsPathSeparator(path[length - 1]);
    const size_t moreLength = std::strlen(more);
    if (length + (addSeparator ? 1 : 0) + moreLength >= size_t(kMaxPath))
        return false;
    char* end = path + length;
    if (addSeparator)
        *end++ = kNativeSeparator;
    std::memcpy(end, more, moreLength + 1);
    return true;
}

// Trims blanks and one trailing separator (only from two characters on).
bool TrimForLookup(const char* text, char* destination)
{
    if (!TrimSpaces(text, destination))
        return false;
    const size_t length = std::strlen(destination);
    if (length >= 2 && IsPathSeparator(destination[length - 1]))
        destination[length - 1] = '\0';
    return true;
}

// Joins a user's name onto path: trimmed, one trailing separator dropped.
bool JoinName(char* path, const char* name)
{
    char trimmed[kMaxPath];
    if (!TrimForLookup(name, trimmed))
        return false;
    return AppendPath(path, trimmed);
}

int CompareBytes(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const unsigned char x = static_cast<unsigned char>(*a);
        const unsigned char y = static_cast<unsigned char>(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

unsigned char LowerAscii(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Folds the ASCII letters only, whatever the locale.
int CompareAsciiNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const unsigned char x = LowerAscii(*a);
        const unsigned char y = LowerAscii(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

bool IsRegularFile(const char* path)
{
    return fs::is_regular_file(StatusOf(path));
}

#ifdef _WIN32
// A new file for writing; null when one of that name exists.
// NOTE: msvcrt's fopen ignores the "x" of a mode (a later C runtime's addition), so the file
// is made with _O_EXCL, which never opens a file that exists.
std::FILE* CreateNewFile(const std::wstring& path, bool binary)
{
    const int flags = _O_WRONLY | _O_CREAT | _O_EXCL | (binary ? _O_BINARY : _O_TEXT);
    const int fd = _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* stream = _fdopen(fd, binary ? "wb" : "w");
    if (stream == nullptr)
        _close(fd);
    return stream;
}

// NOTE: checked again on the open handle: a name such as CON or COM1 opens a
// device in any folder, and reading the console would wait for a user.
std::FILE* OpenForReading(const char* path)
{
    std::FILE* stream = OpenFile(path, "rb");
    if (stream == nullptr)
        return nullptr;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}
#else
// NOTE: opened non-blocking and checked again on the descriptor, so a FIFO or
// device put in the file's place after the status check never blocks the open.
std::FILE* OpenForReading(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* stream = ::fdopen(fd, "rb");
    if (stream == nullptr)
        ::close(fd);
    return stream;
}
#endif

// The entry's file name as paths are spelt here; false when it cannot be.
bool EntryName(const fs::directory_entry& entry, std::string& name)
{
    return NameText(entry.path().filename().c_str(), &name);
}

#ifdef _WIN32
struct FindCloser {
    HANDLE handle;
    ~FindCloser()
    {
        if (handle != INVALID_HANDLE_VALUE)
            FindClose(handle);
    }
};

ListProblem ListFiles(const char* folder, std::vector<std::string>* names)
{
    std::wstring pattern;
    if (!WidePath(folder, &pattern) || pattern.empty())
        return LIST_NO_SUCH_FOLDER;
    const DWORD attributes = GetFileAttributesW(pattern.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LIST_NO_SUCH_FOLDER;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return LIST_NOT_A_FOLDER;
    if (pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    FindCloser find{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0)};
    if (find.handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? LIST_FINE : LIST_CANNOT_READ;
    do {
        std::string name;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            NameText(entry.cFileName, &name))
            names->push_back(std::move(name));
    } while (FindNextFileW(find.handle, &entry));
    return GetLastError() == ERROR_NO_MORE_FILES ? LIST_FINE : LIST_CANNOT_READ;
}
#else
struct DirCloser {
    DIR* dir;
    ~DirCloser()
    {
        if (dir != nullptr)
            ::closedir(dir);
    }
};

// A file, or a link that leads to one; a dangling link or a loop is not.
bool IsFileEntry(DIR* dir, const dirent* entry)
{
#ifdef _DIRENT_HAVE_D_TYPE
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
#endif
    struct stat info;
    return ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && !S_ISDIR(info.st_mode);
}

ListProblem ListFiles(const char* folder, std::vector<std::string>* names)
{
    DirCloser closer{::opendir(folder)};
    if (closer.dir == nullptr) {
        switch (errno) {
        case ENOENT: return LIST_NO_SUCH_FOLDER;
        case ENOTDIR: return LIST_NOT_A_FOLDER;
        default: return LIST_CANNOT_READ;
        }
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(closer.dir);
        if (entry == nullptr)
            return errno == 0 ? LIST_FINE : LIST_CANNOT_READ;
        if (IsFileEntry(closer.dir, entry))
            names->push_back(entry->d_name);
    }
}
#endif

}  // namespace

ListProblem ListFolderFiles(const char* folder, std::vector<std::string>* names)
{
    if (folder == nullptr || names == nullptr)
        return LIST_NO_SUCH_FOLDER;
    if (folder[0] == '\0')
        folder = ".";
    try {
        return ListFiles(folder, names);
    } catch (const std::bad_alloc&) {
        return LIST_CANNOT_READ;
    }
}

bool IsPathSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool PathExists(const char* path)
{
    return PathFileExists(path);
}

bool IsDirectoryPath(const char* path)
{
    return PathIsDirectory(path);
}

bool CopyPathText(char* destination, const char* text)
{
    return CopyPath(destination, text);
}

bool JoinPathName(char* path, const char* name)
{
    return JoinName(path, name);
}

std::FILE* OpenFile(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr)
        return nullptr;
#ifdef _WIN32
    std::wstring widePath, wideMode;
    if (!WidePath(path, &widePath) || !WideFromUtf8(mode, &wideMode))
        return nullptr;
    if (std::strchr(mode, 'x') != nullptr)
        return CreateNewFile(widePath, std::strchr(mode, 'b') != nullptr);
    return _wfopen(widePath.c_str(), wideMode.c_str());
#else
    return std::fopen(path, mode);
#endif
}

bool PathOrLinkExists(const char* path)
{
    std::error_code ignored;
    return path != nullptr && fs::exists(fs::symlink_status(SystemPath(path), ignored));
}

std::FILE* OpenRegularFile(const char* path)
{
    if (path == nullptr || !IsRegularFile(path))
        return nullptr;
    return OpenForReading(path);
}

CFind::CFind(const char* name)
{
    // A target that does not fit stays empty, and no entry has an empty name.
    if (name != nullptr)
        CopyPath(target, name);
}

bool CFind::OnEntry(const OxPathEntry& entry)
{
    if (entry.isDirectory || std::strcmp(entry.name, target) != 0)
        return true;
    CopyPath(found, entry.fullPath);
    return false;
}

void WalkDirectory(const char* directory, bool recursive, OxPathEnumerator* enumerator)
{
    if (directory == nullptr || enumerator == nullptr)
        return;
    // The directory must leave room for a separator and an entry name.
    if (std::strlen(directory) + 2 >= size_t(kMaxPath))
        return;
    std::error_code error;
    fs::directory_iterator entries(SystemPath(directory), error);
    for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
        std::string name;
        if (!EntryName(*entries, name) || name == "." || name == "..")
            continue;
        char fullPath[kMaxPath];
        CopyPath(fullPath, directory);
        // An entry whose path would not fit is left out, never cut short.
        if (name.empty() || !AppendPath(fullPath, name.c_str()))
            continue;
        std::error_code ignored;
        const bool isDirectory = entries->is_directory(ignored);
        if (!enumerator->OnEntry(OxPathEntry{name.c_str(), fullPath, isDirectory}))
            return;
        // NOTE: links to directories are reported but not entered, so a link
        // to an ancestor cannot make the walk endless.
        if (recursive && isDirectory && !entries->is_symlink(ignored))
            WalkDirectory(fullPath, true, enumerator);
    }
}

int ComparePaths(const char* a, const char* b, bool exact)
{
    if (a == nullptr || b == nullptr)
        return -1;
    char left[kMaxPath];
    char right[kMaxPath];
    // Texts that do not fit are never equal to anything.
    if (!TrimForLookup(a, left) || !TrimForLookup(b, right))
        return -1;
    return exact ? CompareBytes(left, right) : CompareAsciiNoCase(left, right);
}

bool TrimSpaces(const char* source, char* destination)
{
    if (destination == nullptr)
        return false;
    destination[0] = '\0';
    if (source == nullptr)
        return true;
    const char* begin = source;
    while (IsBlank(*begin))
        ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && IsBlank(end[-1]))
        --end;
    const size_t length = size_t(end - begin);
    if (length >= size_t(kMaxPath))
        return false;
    std::memcpy(destination, begin, length);
    destination[length] = '\0';
    return true;
}
