// The heap's memory: kept while frames are drawn, made ready ahead of many small blocks, and
// handed back when the program rests.
#pragma once

#include <cstdint>

// Gives the memory the heap holds free back to the system: the many small blocks of a
// picture's textures stay resident after they are freed otherwise.
void HandBackFreedMemory();
// Freed memory the heap keeps while frames are drawn, up to this much, instead of giving it
// back after every frame (glibc only); HandBackFreedMemory gives it back. Called once, at
// the start.
constexpr int kFrameMemoryKept = 64 << 20;
void KeepFreedMemoryWhileDrawing();

// Makes about `bytes` of the heap's memory resident at once, in huge pages where the system
// offers them, and leaves it free in the heap for the blocks about to be taken (glibc on
// Linux; elsewhere nothing). The driver keeps a picture's textures in thousands of small heap
// blocks, and otherwise faults their memory in and clears it 4 KB at a time as it takes them:
// on a virtual machine each fault is dear, and a 12 MP photo's tiles took some 150 ms of it.
// The memory stays in the heap until HandBackFreedMemory.
void PrepareHeapForBlocks(int64_t bytes);
