// Search roots and the resolution of asset names to open files.
#pragma once

#include "foundation/file.h"

// Why OpenAssetFile gave no file.
enum OpenProblem {
    OPEN_FINE = 0,
    OPEN_NO_SUCH_FILE,  // no file of that name, nor below a search root or in an archive root
    OPEN_DIRECTORY,     // the name resolves to a directory
    OPEN_FAILED,        // it is there but cannot be opened (a FIFO, a device, no permission)
};

// Resolves name (unchanged, then below each search root, then as a member of
// an archive root) and opens the regular file it names with mode "rb".
// Returns a new file with count 1, or null and, in why when given, the reason.
OxFile* OpenAssetFile(const char* name, OpenProblem* why = nullptr);

// Appends path to the process-wide search-root list: 0 when it exists, -1
// otherwise (it is appended all the same).
int AddSearchRoot(const char* path);
// Empties the search-root list (the program never does; tests start each case afresh).
void ClearSearchRoots();

// resolved must hold kMaxPath bytes; it is the empty string on failure.
bool FindInDirectories(const char* name, char* resolved);
// On success resolved is "<archive path>@@<name>".
bool FindInArchives(const char* name, char* resolved);
