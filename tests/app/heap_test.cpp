// Tests of the heap's memory made ready for the driver's many small blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <unistd.h>
#endif

#include "src/heap.h"

#if defined(__GLIBC__) && defined(__linux__)
namespace {

// Resident bytes of the process, from /proc/self/statm; 0 when it cannot be read.
size_t ResidentBytes()
{
    size_t pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%zu %zu", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * size_t(sysconf(_SC_PAGESIZE));
}

}  // namespace
#endif

TEST(HeapTest, MemoryMadeReadyIsTakenByTheBlocksAndHandedBackAtRest)
{
#if !defined(__GLIBC__) || !defined(__linux__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the heap is glibc's own only in a plain Linux build";
#else
    KeepFreedMemoryWhileDrawing();
    HandBackFreedMemory();
    const size_t before = ResidentBytes();
    constexpr size_t kBytes = size_t(48) << 20;
    PrepareHeapForBlocks(int64_t(kBytes));
    const struct mallinfo2 ready = mallinfo2();
    EXPECT_GE(ready.fordblks, kBytes) << "kept free in the heap, not given back at once";
    EXPECT_GE(ResidentBytes(), before + kBytes) << "faulted in ahead of the blocks";

    // A texture's worth of blocks, some 2900 of them, comes from it: the heap does not grow.
    std::vector<void*> blocks;
    for (size_t taken = 0; taken + 16640 <= kBytes; taken += 16640)
        blocks.push_back(std::malloc(16384));
    EXPECT_LE(mallinfo2().arena, ready.arena);
    for (void* block : blocks)
        std::free(block);

    HandBackFreedMemory();
    EXPECT_LT(ResidentBytes(), before + (size_t(8) << 20)) << "given back at rest";
#endif
}
