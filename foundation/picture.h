// PNG and JPEG readers, PNG, BMP and JPEG writers.
#pragma once

#include <cstdint>
#include <cstdio>

#include "foundation/file.h"
#include "foundation/surface.h"

// Pictures wider or taller than this are refused before any pixel store exists.
constexpr int kMaxPictureSide = 16384;

// Read from the file's current position; a new surface in the file's pixel
// format, or null. The caller keeps its reference to the file. ReadPng leaves
// the position unchanged when the file is not a PNG.
OxSurface* ReadPng(OxFile* file);
OxSurface* ReadJpeg(OxFile* file);
OxSurface* DecodeJpegMemory(const uint8_t* bytes, int byteCount);

// pixels: packed RGB rows, top row first. 0 on success, -1 on failure.
int WritePng(int width, int height, const uint8_t* pixels, std::FILE* stream);
int WriteBmp(std::FILE* stream, int width, int height, const uint8_t* pixels, int pitch);
int WriteJpeg(int width, int height, const uint8_t* pixels, int pitch, std::FILE* stream);
