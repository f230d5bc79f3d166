// A synthetic photo-like picture for the benchmarks, and its PNG, JPEG and WebP files.
#include "bench/support/photo.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <webp/encode.h>

namespace {

// A small deterministic generator for the noise.
struct Noise {
    uint32_t state = 0x9e3779b9u;
    int Next(int spread)
    {
        state = state * 1664525u + 1013904223u;
        return int((state >> 24) % uint32_t(2 * spread + 1)) - spread;
    }
};

uint8_t Clamp(double value)
{
    return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

struct FileCloser {
    std::FILE* file;
    ~FileCloser()
    {
        if (file)
            std::fclose(file);
    }
};

}  // namespace

OxSurface* CreateSyntheticPhoto(int width, int height)
{
    OxSurface* photo = CreateSurface(width * height * 4, width, height, PF_RGBA, width * 4);
    if (!photo)
        return nullptr;
    Noise noise;
    for (int y = 0; y < height; ++y) {
        const double v = double(y) / height;
        uint8_t* pixel = photo->writePixels + size_t(y) * size_t(photo->pitch);
        for (int x = 0; x < width; ++x, pixel += 4) {
            const double u = double(x) / width;
            // Sky above a horizon, ground below, a bright sun disc and soft hills.
            const double hill = 0.55 + 0.06 * std::sin(u * 9.0) + 0.03 * std::sin(u * 31.0 + 1.0);
            double r, g, b;
            if (v < hill) {
                r = 90 + 120 * v;
                g = 140 + 80 * v;
                b = 230 - 40 * v;
            } else {
                const double texture = 25 * std::sin(x * 0.21 + std::sin(y * 0.05) * 4.0) *
                                       std::sin(y * 0.17 + u * 3.0);
                r = 70 + 60 * (v - hill) + texture;
                g = 110 - 30 * (v - hill) + texture;
                b = 40 + texture * 0.5;
            }
            const double dx = u - 0.72, dy = v - 0.22;
            const double sun = std::exp(-(dx * dx + dy * dy) * 400.0);
            r += 200 * sun;
            g += 180 * sun;
            b += 120 * sun;
            pixel[0] = Clamp(r + noise.Next(4));
            pixel[1] = Clamp(g + noise.Next(4));
            pixel[2] = Clamp(b + noise.Next(4));
            pixel[3] = 255;
        }
    }
    return photo;
}

bool WritePhotoJpeg(const OxSurface* photo, const std::string& path, int orientation)
{
    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (!out.file)
        return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out.file);
    cinfo.image_width = JDIMENSION(photo->width);
    cinfo.image_height = JDIMENSION(photo->height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    // 4:2:0, the defaults' sampling for colour pictures.
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    if (orientation != 1) {
        // "Exif", then a big-endian TIFF block whose one entry is the orientation (a SHORT).
        const JOCTET exif[] = {'E', 'x', 'i', 'f', 0,    0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                               0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, JOCTET(orientation), 0, 0,
                               0,    0,    0, 0};
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, sizeof(exif));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = photo->writePixels + size_t(cinfo.next_scanline) * size_t(photo->pitch);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool WritePhotoPng(const OxSurface* photo, const std::string& path)
{
    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (!out.file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, out.file);
    png_set_IHDR(png, info, png_uint_32(photo->width), png_uint_32(photo->height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows hold RGBA; alpha is dropped
    for (int y = 0; y < photo->height; ++y)
        png_write_row(png, photo->readPixels + size_t(y) * size_t(photo->pitch));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WritePhotoWebp(const OxSurface* photo, const std::string& path)
{
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeRGBA(photo->writePixels, photo->width, photo->height,
                                       photo->pitch, 90, &encoded);
    FileCloser out{size > 0 ? std::fopen(path.c_str(), "wb") : nullptr};
    const bool written = out.file && std::fwrite(encoded, 1, size, out.file) == size;
    WebPFree(encoded);
    return written;
}

bool DecodeJpegFileBare(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const size_t pitch = size_t(cinfo.output_width) * cinfo.output_components;
    std::vector<uint8_t> pixels(pitch * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        for (int i = 0; i < 16; ++i)
            rows[i] = pixels.data() + pitch * std::min<size_t>(cinfo.output_scanline + i,
                                                               cinfo.output_height - 1);
        jpeg_read_scanlines(&cinfo, rows, 16);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return !pixels.empty();
}
