// An OxFile that passes every call to another and counts the reads, the bytes read and
// the seeks: what a read of a picture costs in file traffic.
#pragma once

#include "foundation/file.h"
#include "foundation/ref.h"

class CountingFile : public OxFile {
public:
    // Takes the caller's reference to inner.
    explicit CountingFile(OxFile* inner) : inner_(inner) {}

    int Read(void* buffer, int byteCount) override
    {
        ++reads;
        const int got = inner_->Read(buffer, byteCount);
        if (got > 0)
            bytesRead += got;
        return got;
    }
    int Write(const void* buffer, int byteCount) override { return inner_->Write(buffer, byteCount); }
    int Seek(int offset, int origin) override
    {
        ++seeks;
        return inner_->Seek(offset, origin);
    }
    int Tell() override { return inner_->Tell(); }
    int GetSize() override { return inner_->GetSize(); }

    int reads = 0;
    long bytesRead = 0;
    int seeks = 0;

private:
    OxHolder<OxFile> inner_;
};
