// An OxFile over a block of bytes in memory that it does not own, for the fuzz targets.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "foundation/file.h"

class MemoryFile : public OxFile {
public:
    MemoryFile(const uint8_t* bytes, size_t size)
        : bytes_(bytes), size_(size > size_t(INT_MAX) ? INT_MAX : long(size))
    {
    }

    int Read(void* buffer, int byteCount) override
    {
        if (buffer == nullptr || byteCount <= 0 || position_ >= size_)
            return 0;
        const long count = byteCount < size_ - position_ ? byteCount : size_ - position_;
        std::memcpy(buffer, bytes_ + position_, size_t(count));
        position_ += count;
        return int(count);
    }
    int Write(const void*, int) override { return 0; }
    int Seek(int offset, int origin) override
    {
        const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? position_ : size_;
        if (origin < SEEK_SET || origin > SEEK_END || base + offset < 0)
            return -1;
        position_ = base + offset;
        return 0;
    }
    int Tell() override { return position_ > INT_MAX ? -1 : int(position_); }
    int GetSize() override { return int(size_); }

private:
    const uint8_t* bytes_;
    long size_;
    long position_ = 0;
};
