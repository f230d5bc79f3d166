// The heap's memory: kept while frames are drawn, made ready ahead of many small blocks, and
// handed back when the program rests.
#include "src/heap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void HandBackFreedMemory()
{
#if defined(__GLIBC__)
    // A threshold raised for memory made ready for blocks goes back to its own.
    mallopt(M_TRIM_THRESHOLD, kFrameMemoryKept);
    malloc_trim(0);
#endif
}

void KeepFreedMemoryWhileDrawing()
{
#if defined(__GLIBC__)
    // The driver takes each frame's work in many blocks of some 64 KB and frees them when
    // the frame is drawn. Where they lie at the top of the heap, glibc gives them back to
    // the system at once (above a trim threshold of 128 KB), and the next frame faults
    // every page in again and clears it: frames of a 1920 x 1080 wall took four times as
    // long as in a heap laid out otherwise. Freed memory stays while frames come; Rest
    // gives it back when the program waits.
    mallopt(M_TRIM_THRESHOLD, kFrameMemoryKept);
#endif
}

void PrepareHeapForBlocks(int64_t bytes)
{
#if defined(__GLIBC__) && defined(__linux__) && defined(MADV_HUGEPAGE)
    // Large pieces from the heap itself (the allocator maps blocks of its own from 128 KB up
    // unless told otherwise; 32 MB is the most it can be told): the allocator writes only at
    // their ends, so the huge pages asked for are not split by its writes before they come.
    // Freed, they join the heap's free memory that the blocks then take.
    constexpr size_t kPiece = 30 << 20;
    constexpr int kLeastMapped = 32 << 20, kDefaultLeastMapped = 128 << 10;
    constexpr int64_t kMostBytes = int64_t(1) << 30;
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (bytes <= 0 || pageSize <= 0)
        return;
    const uintptr_t page = uintptr_t(pageSize);
    mallopt(M_MMAP_THRESHOLD, kLeastMapped);
    std::vector<char*> pieces;
    int64_t prepared = 0;
    for (int64_t left = std::min(bytes, kMostBytes); left > 0; left -= int64_t(kPiece)) {
        const size_t size = size_t(std::min<int64_t>(left, int64_t(kPiece)));
        char* piece = static_cast<char*>(std::malloc(size));
        if (piece == nullptr)
            break;
        pieces.push_back(piece);
        prepared += int64_t(size);
        const uintptr_t first = (reinterpret_cast<uintptr_t>(piece) + page - 1) & ~(page - 1);
        const uintptr_t last = (reinterpret_cast<uintptr_t>(piece) + size) & ~(page - 1);
        if (first < last)
            madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // refused: slower
        // One write a page faults the piece in (a whole huge page at its first write).
        for (size_t at = 0; at < size; at += page)
            static_cast<volatile char*>(piece)[at] = 0;
    }
    mallopt(M_MMAP_THRESHOLD, kDefaultLeastMapped);
    // Freed together they are more than the heap keeps while frames are drawn: it keeps
    // them all, until the program rests.
    const int64_t kept = kFrameMemoryKept + prepared;
    mallopt(M_TRIM_THRESHOLD, int(std::min<int64_t>(INT32_MAX, kept)));
    for (char* piece : pieces)
        std::free(piece);
#else
    (void)bytes;
#endif
}
