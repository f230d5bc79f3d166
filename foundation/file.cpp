// OxAnsiFile, search roots, and the resolution of asset names to open files.
#include "foundation/file.h"

#include <climits>

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
