// The libjpeg error manager of our codecs: the standard one plus a recovery point.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

// JpegErrorExit jumps to `recovery` after logging. The codec that owns the
// library state sets the recovery point with setjmp right after creating it.
struct JpegErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recovery;
};

// Fills `manager` like jpeg_std_error and installs our two callbacks.
jpeg_error_mgr* InitJpegErrorManager(JpegErrorManager* manager);
