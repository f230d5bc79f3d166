// Member lookup in ZIP files and pack archives: walks the member headers, never the data.
#include "foundation/archive.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <zlib.h>

#include "foundation/log.h"

namespace {

constexpr int kHeaderSize = 30;
constexpr int kNameBufferSize = 1024;
constexpr int kDescriptorSize = 12;
constexpr unsigned kDescriptorFlag = 8;

uint32_t ReadLe32(const unsigned char* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

unsigned ReadLe16(const unsigned char* bytes)
{
    return unsigned(bytes[0]) | unsigned(bytes[1]) << 8;
}

bool StartsWithSignature(const char* path, uint32_t signature)
{
    if (path == nullptr)
        return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(OpenRegularFile(path), std::fclose);
    if (!stream)
        return false;
    unsigned char bytes[4];
    return std::fread(bytes, 1, sizeof bytes, stream.get()) == sizeof bytes &&
           ReadLe32(bytes) == signature;
}

// Reads exactly count bytes at position, which the caller keeps inside the file.
bool ReadAt(OxFile* file, int64_t position, void* buffer, int count)
{
    return file->Seek(int(position), SEEK_SET) == 0 && file->Read(buffer, count) == count;
}

bool IsMemberSignature(uint32_t value)
{
    return value == kZipMemberSignature || value == kPackMemberSignature;
}

bool IsDescriptorSignature(uint32_t value)
{
    return value == kZipDescriptorSignature || value == kPackDescriptorSignature;
}

// The text after the last separator; archive names use either separator.
const char* FinalComponent(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '/' || *c == '\\')
            name = c + 1;
    }
    return name;
}

bool MatchesName(const char* stored, const char* requested, const char* hashedName)
{
    if (ComparePaths(stored, requested, true) == 0)
        return true;
    if (ComparePaths(stored, requested, false) == 0) {
        LogMessage(__LINE__, "", LOG_WARNING, "SAME_FILE_IN_DEFERENT_CASE");
        return true;
    }
    if (ComparePaths(stored, hashedName, true) == 0)
        return true;
    return ComparePaths(FinalComponent(stored), requested, false) == 0;
}

// Position after the data descriptor that follows the data at position, or -1
// when the descriptor runs past the end of the file.
int64_t SkipDescriptor(OxFile* file, int64_t position, int64_t size)
{
    if (position + 4 > size)
        return -1;
    unsigned char signature[4];
    if (!ReadAt(file, position, signature, 4))
        return -1;
    // The descriptor's signature is optional.
    if (IsDescriptorSignature(ReadLe32(signature)))
        position += 4;
    if (position + kDescriptorSize > size)
        return -1;
    return position + kDescriptorSize;
}

}  // namespace

bool IsZipArchive(const char* path)
{
    return StartsWithSignature(path, kZipMemberSignature);
}

bool IsPackArchive(const char* path)
{
    return StartsWithSignature(path, kPackMemberSignature);
}

bool ArchiveHasMember(const char* path, const char* name)
{
    if (path == nullptr || name == nullptr)
        return false;
    std::FILE* stream = OpenRegularFile(path);
    if (stream == nullptr)
        return false;
    OxHolder<OxFile> file(new (std::nothrow) OxAnsiFile(stream));
    if (!file) {
        std::fclose(stream);
        return false;
    }
    return FindArchiveMember(file.get(), name) >= 0;
}

int FindArchiveMember(OxFile* file, const char* name)
{
    if (file == nullptr || name == nullptr)
        return -1;
    const size_t nameLength = std::strlen(name);
    if (nameLength >= size_t(kMaxPath))
        return -1;
    const int64_t size = file->GetSize();
    if (size < 0)
        return -1;
    // Members may be stored under the CRC-32 of the requested name, as 8 lowercase digits.
    char hashedName[9];
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(name), uInt(nameLength));
    std::snprintf(hashedName, sizeof hashedName, "%08lx", static_cast<unsigned long>(crc & 0xFFFFFFFFu));

    // Every size comes from the archive and is checked against the file before
    // it is used; each member moves the walk forward by at least its header.
    int64_t position = 0;
    for (;;) {
        unsigned char header[kHeaderSize];
        if (position + 4 > size || !ReadAt(file, position, header, 4) ||
            !IsMemberSignature(ReadLe32(header)))
            return -1;
        if (position + kHeaderSize > size || !ReadAt(file, position, header, kHeaderSize))
            return -1;
        const unsigned flags = ReadLe16(header + 6);
        const uint32_t compressedSize = ReadLe32(header + 18);
        const unsigned storedLength = ReadLe16(header + 26);
        const unsigned extraLength = ReadLe16(header + 28);
        const int64_t nameStart = position + kHeaderSize;
        const int64_t dataEnd = nameStart + storedLength + extraLength + compressedSize;
        if (dataEnd > size)
            return -1;

        // A name too long for its buffer, or with a zero byte inside, matches nothing.
        char stored[kNameBufferSize];
        bool usable = storedLength < unsigned(kNameBufferSize);
        if (usable) {
            if (!ReadAt(file, nameStart, stored, int(storedLength)))
                return -1;
            stored[storedLength] = '\0';
            usable = std::memchr(stored, '\0', storedLength) == nullptr;
        }
        if (usable && MatchesName(stored, name, hashedName))
            return int(compressedSize);

        int64_t next = dataEnd;
        if (flags & kDescriptorFlag) {
            next = SkipDescriptor(file, dataEnd, size);
            if (next < 0)
                return -1;
        }
        if (next <= position)
            return -1;
        position = next;
    }
}
