// Test tool: makes test pictures and checks a glowview snapshot pixel by pixel
// against the glow computed here from the original picture.
//
// Usage: glow_check make OUT.png WIDTH HEIGHT SEED
//        glow_check compare ORIGINAL.png SNAPSHOT.png R G B LEVEL glsl|cpu [WIDTH HEIGHT]
//        glow_check grey SNAPSHOT.png
//        glow_check inset SCREENSHOT.png SNAPSHOT.png X Y
//        glow_check ramp OUT.png WIDTH HEIGHT
//        glow_check fitted SCREENSHOT.png WIDTH HEIGHT
// compare expects a snapshot of the whole picture (WIDTH x HEIGHT when they are
// given); grey expects only the clear colour; inset expects the screenshot to show
// the snapshot with its top left pixel at (X, Y) (either may be negative: a panned
// picture) and the clear colour everywhere else. ramp makes an opaque picture whose
// red rises to the right and blue downwards, green 255 (so the start glow adds
// almost nothing). fitted expects the screenshot to show a ramp scaled to WIDTH x
// HEIGHT (within 2 pixels), centred, with no seam: no clear colour inside it and red
// never falling to the right nor blue downwards. Exit status 0 when every pixel matches, 1 on a mismatch or an
// unreadable file, 2 on bad usage.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> bytes;
    const uint8_t* At(int x, int y) const
    {
        return bytes.data() + (size_t(y) * width + x) * channels;
    }
};

bool ReadPicture(const char* path, int channels, Picture* picture)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        std::fprintf(stderr, "glow_check: cannot read %s: %s\n", path, image.message);
        return false;
    }
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    picture->width = int(image.width);
    picture->height = int(image.height);
    picture->channels = channels;
    picture->bytes.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, picture->bytes.data(), 0, nullptr)) {
        std::fprintf(stderr, "glow_check: cannot decode %s: %s\n", path, image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

// A picture with every kind of pixel the glow treats differently: gradients
// through all byte values, noise, pure colours, black and white, and varied alpha.
int Make(const char* path, int width, int height, unsigned seed)
{
    std::vector<uint8_t> bytes(size_t(width) * height * 4);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    static const uint8_t kSolid[6][3] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},
                                         {0, 255, 0},   {0, 0, 255},     {128, 128, 128}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bytes.data() + (size_t(y) * width + x) * 4;
            const uint32_t noise = next();
            if ((x / 8 + y / 8) % 5 == 0) {
                const uint8_t* solid = kSolid[(x / 8 + seed) % 6];
                std::memcpy(p, solid, 3);
            } else {
                p[0] = uint8_t(width > 1 ? x * 255 / (width - 1) : 0);
                p[1] = uint8_t(height > 1 ? y * 255 / (height - 1) : 0);
                p[2] = uint8_t(noise & 0xFF);
            }
            p[3] = uint8_t((noise >> 8) & 0xFF);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path, 0, bytes.data(), 0, nullptr)) {
        std::fprintf(stderr, "glow_check: cannot write %s: %s\n", path, image.message);
        return 1;
    }
    return 0;
}

// The glow as the GLSL program adds it, rounded by the frame buffer.
void GlowOnCard(const uint8_t* texel, const double weights[3], double level, int out[3])
{
    const double r = texel[0] / 255.0, g = texel[1] / 255.0, b = texel[2] / 255.0;
    const double glow =
        std::pow(1.0 / (weights[0] * r * r + weights[1] * g * g + weights[2] * b * b + 1.0),
                 level);
    for (int k = 0; k < 3; ++k) {
        const double v = std::min(1.0, texel[k] / 255.0 + glow);
        out[k] = int(std::lround(v * 255.0));
    }
}

// The glow as the processor-side pass computes it: the same term, with its
// single-precision steps and truncation.
void GlowOnProcessor(const uint8_t* texel, const float weights[3], float level, int out[3])
{
    float c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = float(texel[k] / 255.0);
    const double sum = double(weights[1]) * c[1] * c[1] + double(weights[0]) * c[0] * c[0] +
                       double(weights[2]) * c[2] * c[2];
    const float base = float(1.0 / double(float(sum + 1.0)));
    const float glow = float(std::pow(double(base), double(level)));
    for (int k = 0; k < 3; ++k) {
        const double scaled = double(float(c[k] + glow)) * 255.0;
        const long value = long(scaled);
        out[k] = int(std::clamp(value, 0L, 255L));
    }
}

int Compare(int argc, char** argv)
{
    Picture original, snapshot;
    if (!ReadPicture(argv[2], 4, &original) || !ReadPicture(argv[3], 3, &snapshot))
        return 1;
    const float weightsF[3] = {float(std::atof(argv[4])), float(std::atof(argv[5])),
                               float(std::atof(argv[6]))};
    const double weights[3] = {weightsF[0], weightsF[1], weightsF[2]};
    const float level = float(std::atof(argv[7]));
    const bool onCard = std::strcmp(argv[8], "glsl") == 0;
    const int wantWidth = argc > 10 ? std::atoi(argv[9]) : snapshot.width;
    const int wantHeight = argc > 10 ? std::atoi(argv[10]) : snapshot.height;
    if (snapshot.width != wantWidth || snapshot.height != wantHeight) {
        std::printf("snapshot is %dx%d, not %dx%d\n", snapshot.width, snapshot.height,
                    wantWidth, wantHeight);
        return 1;
    }

    // The snapshot holds the whole picture, one pixel per picture pixel, and nothing else.
    if (snapshot.width != original.width || snapshot.height != original.height) {
        std::printf("snapshot is %dx%d, the picture %dx%d\n", snapshot.width, snapshot.height,
                    original.width, original.height);
        return 1;
    }
    const int tolerance = onCard ? 1 : 0;
    long checked = 0, wrong = 0;
    int worst = 0;
    for (int row = 0; row < snapshot.height; ++row) {
        for (int x = 0; x < snapshot.width; ++x) {
            const uint8_t* got = snapshot.At(x, row);
            uint8_t texel[4];
            std::memcpy(texel, original.At(x, row), 3);
            texel[3] = 255;
            int want[3] = {-1, -1, -1};
            if (onCard)
                GlowOnCard(texel, weights, level, want);
            else
                GlowOnProcessor(texel, weightsF, level, want);
            int diff = 0;
            for (int k = 0; k < 3; ++k)
                diff = std::max(diff, std::abs(got[k] - want[k]));
            ++checked;
            worst = std::max(worst, diff);
            if (diff > tolerance && ++wrong <= 5)
                std::printf("pixel (%d, %d): got %d %d %d, want %d %d %d\n", x, row, got[0],
                            got[1], got[2], want[0], want[1], want[2]);
        }
    }
    std::printf("%ld pixels checked, %ld wrong, largest glow difference %d\n", checked, wrong,
                worst);
    return wrong == 0 ? 0 : 1;
}

// Every pixel is the clear colour, grey 0.3.
int Grey(const char* path)
{
    Picture snapshot;
    if (!ReadPicture(path, 3, &snapshot))
        return 1;
    long wrong = 0;
    for (uint8_t value : snapshot.bytes)
        wrong += value != 76 && value != 77;
    std::printf("%dx%d pixels, %ld bytes not grey\n", snapshot.width, snapshot.height, wrong);
    return wrong == 0 && !snapshot.bytes.empty() ? 0 : 1;
}

// The screenshot shows the snapshot at (left, top) exactly, and the clear colour elsewhere.
int Inset(const char* shotPath, const char* snapshotPath, int left, int top)
{
    Picture shot, snapshot;
    if (!ReadPicture(shotPath, 3, &shot) || !ReadPicture(snapshotPath, 3, &snapshot))
        return 1;
    long wrong = 0, inside = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const uint8_t* got = shot.At(x, y);
            const int px = x - left, py = y - top;
            const bool inPicture = px >= 0 && py >= 0 && px < snapshot.width && py < snapshot.height;
            bool same = true;
            if (inPicture) {
                ++inside;
                same = std::memcmp(got, snapshot.At(px, py), 3) == 0;
            } else {
                for (int k = 0; k < 3; ++k)
                    same = same && (got[k] == 76 || got[k] == 77);
            }
            if (!same && ++wrong <= 5) {
                std::printf("pixel (%d, %d): got %d %d %d, want ", x, y, got[0], got[1], got[2]);
                if (inPicture) {
                    const uint8_t* want = snapshot.At(px, py);
                    std::printf("%d %d %d\n", want[0], want[1], want[2]);
                } else {
                    std::printf("clear\n");
                }
            }
        }
    }
    std::printf("%dx%d screenshot, %ld pixels of the picture, %ld wrong\n", shot.width,
                shot.height, inside, wrong);
    return wrong == 0 ? 0 : 1;
}

int Ramp(const char* path, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 2;
    std::vector<uint8_t> bytes(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bytes.data() + (size_t(y) * width + x) * 3;
            p[0] = uint8_t(width > 1 ? x * 255 / (width - 1) : 0);
            p[1] = 255;
            p[2] = uint8_t(height > 1 ? y * 255 / (height - 1) : 0);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path, 0, bytes.data(), 0, nullptr)) {
        std::fprintf(stderr, "glow_check: cannot write %s: %s\n", path, image.message);
        return 1;
    }
    return 0;
}

bool IsClear(const uint8_t* pixel)
{
    for (int k = 0; k < 3; ++k) {
        if (pixel[k] != 76 && pixel[k] != 77)
            return false;
    }
    return true;
}

int Fitted(const char* shotPath, int width, int height)
{
    Picture shot;
    if (!ReadPicture(shotPath, 3, &shot))
        return 1;
    int left = shot.width, right = -1, top = shot.height, bottom = -1;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (IsClear(shot.At(x, y)))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    const int shownWidth = right - left + 1, shownHeight = bottom - top + 1;
    std::printf("picture shown at (%d, %d), %d x %d\n", left, top, shownWidth, shownHeight);
    bool ok = right >= 0 && std::abs(shownWidth - width) <= 2 && std::abs(shownHeight - height) <= 2 &&
              std::abs(left - (shot.width - right - 1)) <= 2 &&
              std::abs(top - (shot.height - bottom - 1)) <= 2;
    // Inside, one pixel in from the edges (which may blend with the clear colour).
    long seams = 0;
    for (int y = top + 1; ok && y < bottom; ++y) {
        for (int x = left + 1; x < right; ++x) {
            const uint8_t* p = shot.At(x, y);
            const bool bad = IsClear(p) || (x > left + 1 && p[0] + 1 < shot.At(x - 1, y)[0]) ||
                             (y > top + 1 && p[2] + 1 < shot.At(x, y - 1)[2]);
            if (bad && ++seams <= 5)
                std::printf("seam at (%d, %d): %d %d %d\n", x, y, p[0], p[1], p[2]);
        }
    }
    std::printf("%ld seam pixels\n", seams);
    return ok && seams == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "fitted") == 0)
        return Fitted(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 6 && std::strcmp(argv[1], "inset") == 0)
        return Inset(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    if (argc == 5 && std::strcmp(argv[1], "ramp") == 0)
        return Ramp(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 6 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), unsigned(std::atoi(argv[5])));
    if (argc == 3 && std::strcmp(argv[1], "grey") == 0)
        return Grey(argv[2]);
    if ((argc == 9 || argc == 11) && std::strcmp(argv[1], "compare") == 0)
        return Compare(argc, argv);
    std::fprintf(stderr,
                 "usage: glow_check make OUT.png WIDTH HEIGHT SEED\n"
                 "       glow_check compare ORIGINAL.png SNAPSHOT.png R G B LEVEL glsl|cpu "
                 "[WIDTH HEIGHT]\n"
                 "       glow_check grey SNAPSHOT.png\n"
                 "       glow_check inset SCREENSHOT.png SNAPSHOT.png X Y\n"
                 "       glow_check ramp OUT.png WIDTH HEIGHT\n"
                 "       glow_check fitted SCREENSHOT.png WIDTH HEIGHT\n");
    return 2;
}
