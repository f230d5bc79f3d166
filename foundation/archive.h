// Member lookup in ZIP files and pack archives that serve as search roots.
#pragma once

#include "foundation/file.h"

constexpr unsigned kZipMemberSignature = 0x04034b50;
constexpr unsigned kPackMemberSignature = 0x19810926;
constexpr unsigned kZipDescriptorSignature = 0x08074b50;
constexpr unsigned kPackDescriptorSignature = 0x20110108;

bool IsZipArchive(const char* path);
bool IsPackArchive(const char* path);
bool ArchiveHasMember(const char* path, const char* name);

// Walks the member headers from the start of file. Returns the compressed-size
// field of the first member that matches name, or -1. A member or descriptor
// that runs past the end of the file ends the walk with -1.
int FindArchiveMember(OxFile* file, const char* name);
