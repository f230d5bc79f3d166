// A synthetic photo-like picture for the benchmarks, and its PNG, JPEG and WebP files.
#pragma once

#include <string>

#include "foundation/ref.h"
#include "foundation/surface.h"

// 12 megapixels, the size of an ordinary phone picture.
constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;

// A new PF_RGBA picture with smooth gradients, soft shapes, edges and sensor-like noise,
// the same every time; null when it cannot be made.
OxSurface* CreateSyntheticPhoto(int width, int height);

// Writes the photo as a JPEG (quality 90, 4:2:0) or an 8-bit RGB PNG; false on failure.
// An orientation other than 1 is written in an Exif block, as a camera tags what it stored
// on its side.
bool WritePhotoJpeg(const OxSurface* photo, const std::string& path, int orientation = 1);
bool WritePhotoPng(const OxSurface* photo, const std::string& path);
// Writes the photo as a lossy WebP (libwebp's default settings at quality 90); false on failure.
bool WritePhotoWebp(const OxSurface* photo, const std::string& path);

// libjpeg-turbo alone: the JPEG file decoded to RGB rows in a new block, as fast as it goes;
// the reference the loading goals are measured against. False when the file cannot be read.
bool DecodeJpegFileBare(const std::string& path);
