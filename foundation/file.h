// OxFile and OxAnsiFile, opening regular files, paths and directory walks.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/ref.h"

// Paths and names live in buffers of this many bytes (259 characters and the terminator).
constexpr int kMaxPath = 260;

class OxFile : public OxRef {
public:
    virtual int Read(void* buffer, int byteCount) = 0;
    virtual int Write(const void* buffer, int byteCount) = 0;
    // origin: 0 start (SEEK_SET), 1 current (SEEK_CUR), 2 end (SEEK_END); 0 on success.
    virtual int Seek(int offset, int origin) = 0;
    virtual int Tell() = 0;  // -1 on failure
    virtual int GetSize() = 0;
};

// A file over a standard library stream, which it owns and closes.
class OxAnsiFile : public OxFile {
public:
    explicit OxAnsiFile(std::FILE* stream) : stream_(stream) {}
    ~OxAnsiFile() override;

    int Read(void* buffer, int byteCount) override;
    int Write(const void* buffer, int byteCount) override;
    int Seek(int offset, int origin) override;
    int Tell() override;
    int GetSize() override;

private:
    std::FILE* stream_;
};

// Paths are kept as the system spells them on POSIX systems (bytes), and in UTF-8 on
// Windows, where every call that takes one gets it in UTF-16: a name any code page lacks
// opens too. A path that is not UTF-8 names no file there.

// Opens path with a standard library mode ("rb", "wbx"): what the program writes is opened
// here, and what it reads through OpenRegularFile. Null when it cannot be opened.
std::FILE* OpenFile(const char* path, const char* mode);

// Opens path with mode "rb" when it names a regular file; a directory, FIFO or
// device file gives null, and the open never blocks.
std::FILE* OpenRegularFile(const char* path);

// Path helpers shared with the asset lookup. Buffers hold kMaxPath bytes; a text that
// would not fit is refused (false), never cut into the name of another file.
bool IsPathSeparator(char c);  // either separator: names from archives and users carry both
bool PathExists(const char* path);
// Something has that name: a link is there even when it leads nowhere.
bool PathOrLinkExists(const char* path);
bool IsDirectoryPath(const char* path);
bool CopyPathText(char* destination, const char* text);
// Appends name, trimmed and without one trailing separator, with one native separator.
bool JoinPathName(char* path, const char* name);

struct OxPathEntry {
    const char* name;      // the entry's file name
    const char* fullPath;  // the walked directory joined with the name
    bool isDirectory;
};

class OxPathEnumerator {
public:
    virtual ~OxPathEnumerator() = default;
    // true to go on, false to stop the current directory.
    virtual bool OnEntry(const OxPathEntry& entry) = 0;
};

// Finds a file by exact name; the last one met in walk order wins.
class CFind : public OxPathEnumerator {
public:
    explicit CFind(const char* target);
    bool OnEntry(const OxPathEntry& entry) override;

    char target[kMaxPath] = {};
    char found[kMaxPath] = {};
};

// Visits the entries of directory (depth first when recursive), skipping "." and "..".
// Links to directories are reported but not entered; entries whose path would
// not fit kMaxPath are left out.
void WalkDirectory(const char* directory, bool recursive, OxPathEnumerator* enumerator);

// Why a folder could not be listed.
enum ListProblem {
    LIST_FINE,
    LIST_NO_SUCH_FOLDER,
    LIST_NOT_A_FOLDER,
    LIST_CANNOT_READ,
};

// Appends to *names the names of the folder's files and links to files, in the order the
// system gives them. Folders and links that lead nowhere (a missing target, a loop) are left
// out. Names are spelt as paths are opened here: bytes on POSIX systems, UTF-8 on Windows,
// where a name that is not UTF-16 (a lone surrogate) is left out.
ListProblem ListFolderFiles(const char* folder, std::vector<std::string>* names);

// 0 when a and b name the same path after trimming blanks and one trailing
// separator; exact false folds ASCII case. -1 when either is null.
int ComparePaths(const char* a, const char* b, bool exact);

// Copies source into destination (kMaxPath bytes) without leading and trailing
// white space. A trimmed text that would not fit gives the empty string and false.
bool TrimSpaces(const char* source, char* destination);
