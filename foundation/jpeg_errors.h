// The libjpeg error manager of the JPEG codec: the standard one plus a recovery point.
// Private to foundation/picture*.cpp.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

// JpegErrorExit logs the library's message and then jumps to `recovery`; the codec
// that owns the library state sets the recovery point with setjmp right after
// creating it, so a fatal error never returns to libjpeg.
struct JpegErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recovery;
};

// Fills `manager` like jpeg_std_error and installs our two callbacks.
jpeg_error_mgr* InitJpegErrorManager(JpegErrorManager* manager);
void JpegOutputMessage(j_common_ptr context);
void JpegErrorExit(j_common_ptr context);
