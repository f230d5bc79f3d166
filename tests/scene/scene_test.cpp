// Tests of the scene: the transform stack on both paths, PROGRAM_WALLPAPER, the wall's tiles.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/surface.h"
#include "gl_window.h"
#include "src/glhelp.h"
#include "src/run.h"
#include "src/wallpaper.h"
#include "test_support.h"

namespace {

// The programmable path's stack without any GL: the operations only touch memory.
class TransformStackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hasShaders = true;
        g_modelViewStack = std::make_unique<MatrixStack>();
    }
    void TearDown() override
    {
        g_modelViewStack.reset();
        g_hasShaders = false;
    }

    static Matrix4 Top()
    {
        Matrix4 top;
        GetModelViewMatrix(&top);
        return top;
    }
};

void Transform(const Matrix4& matrix, const float in[4], float out[4])
{
    for (int i = 0; i < 4; ++i) {
        out[i] = 0;
        for (int j = 0; j < 4; ++j)
            out[i] += matrix.m[4 * j + i] * in[j];
    }
}

bool SameBits(const Matrix4& a, const Matrix4& b)
{
    return std::memcmp(a.m, b.m, sizeof(a.m)) == 0;
}

}  // namespace

TEST_F(TransformStackTest, NewStackAndLoadIdentityHoldOneIdentity)
{
    EXPECT_EQ(g_modelViewStack->Size(), 1u);
    EXPECT_TRUE(SameBits(Top(), IdentityMatrix()));

    Translate(5, 6, 7);
    LoadIdentity();
    EXPECT_EQ(g_modelViewStack->Size(), 1u);
    EXPECT_TRUE(SameBits(Top(), IdentityMatrix()));

    PopMatrix();
    EXPECT_TRUE(g_modelViewStack->Empty());
    PopMatrix();  // an empty stack: nothing happens
    EXPECT_TRUE(g_modelViewStack->Empty());
    LoadIdentity();
    EXPECT_EQ(g_modelViewStack->Size(), 1u);
    EXPECT_TRUE(SameBits(Top(), IdentityMatrix()));
}

TEST_F(TransformStackTest, TranslateScaleAndOrthoMatrices)
{
    Translate(3, -4, 5);
    Matrix4 want = IdentityMatrix();
    want.m[12] = 3;
    want.m[13] = -4;
    want.m[14] = 5;
    EXPECT_TRUE(SameBits(Top(), want));

    // Translate(0, h, 0), Scale(1, -1, 1) flips y about h / 2.
    LoadIdentity();
    Translate(0, 199, 0);
    Scale(1, -1, 1);
    const float points[][2] = {{0, 0}, {300, 198}, {17, 64}};
    for (const auto& p : points) {
        const float in[4] = {p[0], p[1], 0, 1};
        float out[4];
        Transform(Top(), in, out);
        EXPECT_FLOAT_EQ(out[0], p[0]);
        EXPECT_FLOAT_EQ(out[1], 199 - p[1]);
        EXPECT_FLOAT_EQ(out[2], 0);
        EXPECT_FLOAT_EQ(out[3], 1);
    }

    Ortho(-320, 320, -240, 240, -1000, 1000);
    EXPECT_FLOAT_EQ(g_projectionMatrix.m[0], 1.0f / 320);
    EXPECT_FLOAT_EQ(g_projectionMatrix.m[5], 1.0f / 240);
    EXPECT_FLOAT_EQ(g_projectionMatrix.m[10], -0.001f);
    EXPECT_EQ(g_projectionMatrix.m[12], 0.0f);
    EXPECT_EQ(g_projectionMatrix.m[13], 0.0f);
    EXPECT_EQ(g_projectionMatrix.m[14], 0.0f);
    EXPECT_EQ(g_projectionMatrix.m[15], 1.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 11})
        EXPECT_EQ(g_projectionMatrix.m[i], 0.0f) << i;
}

TEST_F(TransformStackTest, PopRestoresThePreviousTopBitForBit)
{
    Translate(0.1f, 0.2f, 0.3f);
    Scale(3, 0.7f, 1);
    const Matrix4 before = Top();
    PushMatrix();
    Translate(64, 128, 0);
    Scale(1, -1, 1);
    EXPECT_FALSE(SameBits(Top(), before));
    EXPECT_EQ(g_modelViewStack->Size(), 2u);
    PopMatrix();
    EXPECT_TRUE(SameBits(Top(), before));
}

TEST(MatrixTest, ProductIsPostMultiplication)
{
    // T x S: scaling acts first, so (1, 1) -> (2, 3) -> (12, 3).
    const Matrix4 product = MultiplyMatrices(TranslationMatrix(10, 0, 0), ScalingMatrix(2, 3, 1));
    const float in[4] = {1, 1, 0, 1};
    float out[4];
    Transform(product, in, out);
    EXPECT_FLOAT_EQ(out[0], 12);
    EXPECT_FLOAT_EQ(out[1], 3);
    // A product with itself is computed into a separate matrix.
    const Matrix4 translate = TranslationMatrix(1, 2, 3);
    const Matrix4 twice = MultiplyMatrices(translate, translate);
    EXPECT_FLOAT_EQ(twice.m[12], 2);
    EXPECT_FLOAT_EQ(twice.m[13], 4);
    EXPECT_FLOAT_EQ(twice.m[14], 6);
}

namespace {

class SceneGlTest : public GlWindowTest {
protected:
    void TearDown() override
    {
        if (window)
            ResetAppGlobals();
        g_modelViewStack.reset();
        GlWindowTest::TearDown();
    }
};

using SceneFixedFunctionTest = FixedFunctionFixture<SceneGlTest>;

// The view of a W x H window and the wall's tile transform, as the frame sets them up.
void PlaceTile(int viewWidth, int viewHeight, int pictureHeight, int column, int row)
{
    LoadIdentity();
    Ortho(float(-viewWidth / 2), float(viewWidth / 2), float(-viewHeight / 2),
          float(viewHeight / 2), -1000, 1000);
    Translate(float(-viewWidth / 2), float(-viewHeight / 2), 0);
    PushMatrix();
    Translate(0, float(pictureHeight), 0);
    Scale(1, -1, 1);
    PushMatrix();
    Translate(64.0f * column, 64.0f * row, 0);
}

}  // namespace

TEST_F(SceneGlTest, BothPathsPlaceEveryVertexAtTheSameWindowPosition)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(300, 198));
    g_modelViewStack = std::make_unique<MatrixStack>();
    const int w = 300, h = 198, pictureHeight = 199;
    const float corners[][2] = {{0, 0}, {64, 0}, {0, 64}, {64, 64}, {17.5f, 33.25f}};

    g_hasShaders = false;
    glMatrixMode(GL_MODELVIEW);
    PlaceTile(w, h, pictureHeight, 2, 1);
    Matrix4 fixedModelView, fixedProjection;
    glGetFloatv(GL_MODELVIEW_MATRIX, fixedModelView.m);
    glGetFloatv(GL_PROJECTION_MATRIX, fixedProjection.m);
    PopMatrix();
    PopMatrix();
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    g_hasShaders = true;
    PlaceTile(w, h, pictureHeight, 2, 1);
    Matrix4 modelView;
    GetModelViewMatrix(&modelView);
    EXPECT_EQ(g_modelViewStack->Size(), 3u) << "base, wall, tile";

    for (const auto& corner : corners) {
        const float vertex[4] = {corner[0], corner[1], 0, 1};
        float eye[4], fixedClip[4], programEye[4], programClip[4];
        Transform(fixedModelView, vertex, eye);
        Transform(fixedProjection, eye, fixedClip);
        Transform(modelView, vertex, programEye);
        Transform(g_projectionMatrix, programEye, programClip);
        // Window position of each: ((ndc + 1) / 2) x size.
        const float fixedX = (fixedClip[0] / fixedClip[3] + 1) / 2 * w;
        const float fixedY = (fixedClip[1] / fixedClip[3] + 1) / 2 * h;
        const float programX = (programClip[0] / programClip[3] + 1) / 2 * w;
        const float programY = (programClip[1] / programClip[3] + 1) / 2 * h;
        EXPECT_NEAR(programX, fixedX, 1e-3) << corner[0] << "," << corner[1];
        EXPECT_NEAR(programY, fixedY, 1e-3) << corner[0] << "," << corner[1];
        // Tile (1, 2): picture point (128 + x, 64 + y) lands at (128 + x, 199 - 64 - y).
        EXPECT_NEAR(programX, 128 + corner[0], 1e-3);
        EXPECT_NEAR(programY, pictureHeight - 64 - corner[1], 1e-3);
    }
}

TEST_F(SceneGlTest, OneProgramAtATimeFromItsTwoSources)
{
    EXPECT_EQ(std::strlen(kWallpaperVertexSource), 223u);
    EXPECT_EQ(std::strlen(kWallpaperFragmentSource), 253u);
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    ASSERT_EQ(g_wallpaperProgram, 0u);
    const std::string log = StdoutOf([] { InitRenderer(); });
    EXPECT_TRUE(g_hasShaders);
    EXPECT_EQ(CountOf(log, "PROGRAM_WALLPAPER"), 0) << log;
    const GLuint first = g_wallpaperProgram;
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(glIsProgram(first));
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(GLuint(current), first) << "left current";
    GLint shaders = 0;
    glGetProgramiv(first, GL_ATTACHED_SHADERS, &shaders);
    EXPECT_EQ(shaders, 2);

    InitRenderer();  // the next reload
    EXPECT_FALSE(glIsProgram(first)) << "the old program is deleted";
    EXPECT_TRUE(glIsProgram(g_wallpaperProgram));
    EXPECT_EQ(g_modelViewStack->Size(), 1u) << "a fresh stack";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneGlTest, MissingNamesAreLoggedAndSkipped)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    InitRenderer();
    const GLuint program = g_wallpaperProgram;
    const float data[8] = {};
    const std::string log = StdoutOf([&] {
        SetUniform1f(program, "Glow", 1);
        SetUniformMatrix4(program, "ViewMatrix", IdentityMatrix());
        SetVertexAttribArray(program, "Normal", 3, 12, data);
        SetUniform1f(program, "Power", 3);  // present: no entry
        SetSamplerUniform(program);
    });
    EXPECT_EQ(CountOf(log, "\n"), 3) << log;
    EXPECT_EQ(CountOf(log, "src/glhelp["), 3);
    EXPECT_NE(log.find("]: glGetUniformLocation: 'Glow' is not found, or removed by compiler\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("]: glGetUniformLocation: 'ViewMatrix' is not found"), std::string::npos);
    EXPECT_NE(log.find("]: glGetAttribLocation: 'Normal' is not found, or removed by compiler\n"),
              std::string::npos);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLfloat power = 0;
    glGetUniformfv(program, glGetUniformLocation(program, "Power"), &power);
    EXPECT_EQ(power, 3.0f);
}

TEST_F(SceneGlTest, InfoLogsOnlyWhenThereIsText)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    // A shader never compiled has no info log at all.
    const GLuint fresh = glCreateShader(GL_VERTEX_SHADER);
    EXPECT_EQ(StdoutOf([&] { LogShaderInfoLog(fresh, 117); }), "") << "no text, no entry";
    // A driver may leave remarks on a good compile: one entry when it does, none otherwise.
    const GLuint good = glCreateShader(GL_VERTEX_SHADER);
    const char* goodSource = kWallpaperVertexSource;
    glShaderSource(good, 1, &goodSource, nullptr);
    glCompileShader(good);
    GLint length = -1;
    glGetShaderiv(good, GL_INFO_LOG_LENGTH, &length);
    const std::string quiet = StdoutOf([&] { LogShaderInfoLog(good, 117); });
    EXPECT_EQ(CountOf(quiet, "\n"), length < 2 ? 0 : 1) << quiet;

    const GLuint bad = glCreateShader(GL_FRAGMENT_SHADER);
    const char* badSource = "#version 120\nvoid main(){ gl_FragColor = nothing; }\n";
    glShaderSource(bad, 1, &badSource, nullptr);
    glCompileShader(bad);
    const std::string log = StdoutOf([&] { LogShaderInfoLog(bad, 126); });
    EXPECT_EQ(CountOf(log, "PROGRAM_WALLPAPER"), 1) << log;
    EXPECT_EQ(log.rfind("src/glhelp[126]: glGetShaderInfoLog in 'PROGRAM_WALLPAPER': ", 0), 0u)
        << log;
    glDeleteShader(fresh);
    glDeleteShader(good);
    glDeleteShader(bad);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneFixedFunctionTest, WithoutGlslNoProgramIsMade)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    g_wallpaperProgram = 12345;  // a stale name is dropped without a GL call
    InitRenderer();
    EXPECT_FALSE(g_hasShaders);
    EXPECT_EQ(g_wallpaperProgram, 0u);
    ASSERT_TRUE(g_modelViewStack);
    EXPECT_EQ(g_modelViewStack->Size(), 1u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

namespace {

// A picture whose pixel (x, y) is (x, y, x + y, 40) in bytes.
std::vector<uint8_t> Pattern(int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = pixels.data() + (size_t(y) * width + x) * 4;
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t(x + y);
            p[3] = 40;
        }
    }
    return pixels;
}

std::vector<uint8_t> TextureTexels(GLuint name)
{
    std::vector<uint8_t> texels(64 * 64 * 4, 0xAB);
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

}  // namespace

TEST_F(SceneGlTest, WallTilesCoverThePictureWithMarginTexels)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    struct Case {
        int width, height, columns, rows;
    };
    const Case cases[] = {{64, 64, 1, 1}, {100, 100, 2, 2}, {65, 1, 2, 1}, {301, 199, 5, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const std::vector<uint8_t> pixels = Pattern(c.width, c.height);
        CWall* wall = nullptr;
        const std::string log = StdoutOf([&] { wall = new CWall(c.width, c.height, pixels.data()); });
        ASSERT_EQ(wall->columns, c.columns);
        ASSERT_EQ(wall->rows, c.rows);
        ASSERT_EQ(wall->textures.size(), size_t(c.columns * c.rows));

        // Made row by row, left to right: one DEBUG entry per texture, in index order.
        std::string want;
        for (uint32_t name : wall->textures)
            want += "Create texture for wall: " + std::to_string(name) + "\n";
        std::string got;
        for (size_t at = 0; at < log.size();) {
            const size_t end = log.find('\n', at);
            const std::string line = log.substr(at, end - at + 1);
            EXPECT_EQ(line.rfind("src/wallpaper[", 0), 0u) << line;
            got += line.substr(line.find("]: ") + 3);
            at = end + 1;
        }
        EXPECT_EQ(got, want);

        for (int r = 0; r < c.rows; ++r) {
            for (int col = 0; col < c.columns; ++col) {
                const std::vector<uint8_t> texels =
                    TextureTexels(wall->textures[size_t(r) * c.columns + col]);
                int wrong = 0;
                for (int k = 0; k < 64; ++k) {
                    for (int m = 0; m < 64; ++m) {
                        const int x = col * 64 + m, y = r * 64 + k;
                        const uint8_t* t = texels.data() + (k * 64 + m) * 4;
                        const bool inside = x < c.width && y < c.height;
                        const uint8_t want4[4] = {uint8_t(inside ? x : 0), uint8_t(inside ? y : 0),
                                                  uint8_t(inside ? x + y : 0),
                                                  uint8_t(inside ? 255 : 0)};
                        wrong += std::memcmp(t, want4, 4) != 0;
                    }
                }
                EXPECT_EQ(wrong, 0) << "tile " << r << "," << col;
            }
        }
        const std::vector<uint32_t> names = wall->textures;
        delete wall;
        for (uint32_t name : names)
            EXPECT_FALSE(glIsTexture(name)) << "texture " << name << " deleted";
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(VisibleTileSpanTest, OnlyTilesTheTransformPutsWithinReach)
{
    struct Case {
        const char* name;
        float scale, offset, reach;
        int count, first, last;
    };
    // A 1280-pixel view maps picture units u to 2 u / 1280 + offset, reach 1.
    const float perPixel = 2.0f / 1280.0f;
    const Case cases[] = {
        {"the whole view from the left edge", perPixel, -1.0f, 1.0f, 63, 0, 21},
        {"flipped, as the wall's rows run down", -perPixel, 1.0f, 1.0f, 63, 0, 21},
        {"panned 1000 pixels", perPixel, -1.0f - 1000 * perPixel, 1.0f, 63, 15, 36},
        {"a tile touching the view's edge is kept", perPixel, -1.0f - 64 * perPixel, 1.0f, 63, 0,
         22},
        {"a picture smaller than the view", perPixel, -0.5f, 1.0f, 3, 0, 3},
        {"wholly outside", perPixel, 3.0f, 1.0f, 63, 0, 0},
        {"no scale: every tile", 0.0f, 0.0f, 1.0f, 7, 0, 7},
        {"no reach: every tile", perPixel, 0.0f, 0.0f, 7, 0, 7},
        {"not a number: every tile", std::nanf(""), 0.0f, 1.0f, 7, 0, 7},
        {"no tiles", perPixel, -1.0f, 1.0f, 0, 0, 0},
    };
    for (const Case& c : cases) {
        int first = -1, last = -1;
        VisibleTileSpan(c.scale, c.offset, c.reach, c.count, &first, &last);
        EXPECT_EQ(first, c.first) << c.name;
        EXPECT_EQ(last, c.last) << c.name;
    }
}

TEST_F(SceneGlTest, AnEmptyPictureMakesNoTexturesAndDrawsNothing)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    InitRenderer();
    const uint8_t pixel[4] = {1, 2, 3, 4};
    for (const auto& size : {std::pair<int, int>{0, 10}, {10, 0}, {0, 0}}) {
        const std::string log = StdoutOf([&] {
            CWall wall(size.first, size.second, pixel);
            EXPECT_EQ(wall.columns * wall.rows, 0);
            EXPECT_TRUE(wall.textures.empty());
            DrawWall(&wall);
        });
        EXPECT_EQ(log, "");
        EXPECT_EQ(g_modelViewStack->Size(), 1u) << "balanced push and pop";
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

namespace {

// Draws a 100 x 100 wall of one colour in a 100 x 100 view; returns the pixel
// at the window's centre and the state left behind.
struct DrawResult {
    uint8_t centre[3];
    GLint boundTexture;
    GLboolean texturing;
};

DrawResult DrawOneColourWall(const uint8_t colour[4])
{
    std::vector<uint8_t> pixels(100 * 100 * 4);
    for (size_t i = 0; i < pixels.size(); i += 4)
        std::memcpy(&pixels[i], colour, 4);
    CWall wall(100, 100, pixels.data());
    glClearColor(0.3f, 0.3f, 0.3f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    LoadIdentity();
    glViewport(0, 0, 100, 100);
    Ortho(-50, 50, -50, 50, -1000, 1000);
    Translate(-50, -50, 0);
    DrawWall(&wall);
    DrawResult result = {};
    glReadPixels(50, 50, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, result.centre);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &result.boundTexture);
    result.texturing = glIsEnabled(GL_TEXTURE_2D);
    return result;
}

}  // namespace

TEST_F(SceneGlTest, TheProgramAddsTheGlowToEveryTexel)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(100, 100));
    InitRenderer();
    // R 1, G 1, B 0, Power 10: black and blue turn white, red gains 1/1024.
    struct Case {
        uint8_t colour[4];
        uint8_t want[3];
    };
    const Case cases[] = {{{0, 0, 0, 0}, {255, 255, 255}},
                          {{0, 0, 255, 255}, {255, 255, 255}},
                          {{255, 0, 0, 128}, {255, 0, 0}},
                          {{128, 128, 128, 255}, {132, 132, 132}}};
    for (const Case& c : cases) {
        const DrawResult result = DrawOneColourWall(c.colour);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(result.centre[k], c.want[k], 1) << int(c.colour[0]) << " channel " << k;
        EXPECT_NE(result.boundTexture, 0) << "the last tile stays bound";
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneFixedFunctionTest, FixedFunctionDrawsTexelsUnchanged)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(100, 100));
    InitRenderer();
    ASSERT_FALSE(g_hasShaders);
    const uint8_t colour[4] = {10, 20, 30, 40};
    const DrawResult result = DrawOneColourWall(colour);
    EXPECT_EQ(result.centre[0], 10);
    EXPECT_EQ(result.centre[1], 20);
    EXPECT_EQ(result.centre[2], 30);
    EXPECT_EQ(result.boundTexture, 0);
    EXPECT_FALSE(result.texturing);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// ---- reduced copies of a large picture ----

TEST(HalvePixelsTest, EachPixelIsTheRoundedMeanOfItsBlock)
{
    // Red and green of each pixel are given (blue 9, alpha 40); a block cut by the right or
    // bottom edge repeats the pixels it has.
    struct Case {
        const char* name;
        int width, height;
        std::vector<uint8_t> red, green;            // width x height, row by row
        std::vector<uint8_t> wantRed, wantGreen;    // the halved pixels
    };
    const Case cases[] = {
        {"one block, a half rounded up", 2, 2, {0, 1, 2, 3}, {255, 255, 255, 254}, {2}, {255}},
        {"full bytes do not spill into the next channel", 2, 2, {255, 255, 255, 255},
         {0, 0, 0, 1}, {255}, {0}},
        {"an odd width repeats the last column", 3, 2, {10, 20, 31, 10, 20, 31},
         {0, 0, 7, 0, 0, 7}, {15, 31}, {0, 7}},
        {"an odd height repeats the last row", 2, 3, {4, 8, 100, 100, 50, 51},
         {1, 1, 1, 1, 3, 3}, {53, 51}, {1, 3}},
        {"one pixel", 1, 1, {77}, {78}, {77}, {78}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> pixels;
        for (size_t i = 0; i < c.red.size(); ++i)
            pixels.insert(pixels.end(), {c.red[i], c.green[i], 9, 40});
        const int halvedWidth = (c.width + 1) / 2, halvedHeight = (c.height + 1) / 2;
        std::vector<uint8_t> halved(size_t(halvedWidth) * halvedHeight * 4, 0xAB);
        HalvePixels(pixels.data(), c.width, c.height, c.width * 4, halved.data(),
                    halvedWidth * 4);
        for (size_t i = 0; i < c.wantRed.size(); ++i) {
            const uint8_t want[4] = {c.wantRed[i], c.wantGreen[i], 9, 255};
            EXPECT_EQ(std::memcmp(halved.data() + i * 4, want, 4), 0)
                << c.name << ", pixel " << i << ": " << int(halved[i * 4]) << " "
                << int(halved[i * 4 + 1]) << " " << int(halved[i * 4 + 2]) << " "
                << int(halved[i * 4 + 3]);
        }
    }
}

namespace {

// The pixels of a copy read back from its textures, row by row.
std::vector<uint8_t> WallPixels(const CWall* wall)
{
    OxSurface* surface = CreateSurfaceFromWall(wall);
    if (!surface)
        return {};
    std::vector<uint8_t> pixels(surface->readPixels,
                                surface->readPixels + size_t(surface->pitch) * surface->height);
    OxRelease(surface);
    return pixels;
}

std::vector<uint8_t> Halved(const std::vector<uint8_t>& pixels, int width, int height)
{
    const int halvedWidth = (width + 1) / 2;
    std::vector<uint8_t> halved(size_t(halvedWidth) * ((height + 1) / 2) * 4);
    HalvePixels(pixels.data(), width, height, width * 4, halved.data(), halvedWidth * 4);
    return halved;
}

}  // namespace

TEST_F(SceneGlTest, ALargePictureGetsReducedCopiesMadeWholeOrInBands)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    InitRenderer();
    // Longer than 2048: halved until the copy's longer side is at most 1024.
    const int width = 2306, height = 200;
    const std::vector<uint8_t> pixels = Pattern(width, height);
    const std::vector<uint8_t> half = Halved(pixels, width, height);
    const std::vector<uint8_t> quarter = Halved(half, 1153, 100);

    CWall whole(width, height, pixels.data());
    std::unique_ptr<CWall> banded(CWall::CreateUnfilled(width, height));
    for (int first = 0; first < height; first += 64)
        banded->MakeTiles(first, std::min(64, height - first),
                          pixels.data() + size_t(first) * width * 4, width * 4);
    for (const CWall* wall : {static_cast<const CWall*>(&whole), static_cast<const CWall*>(banded.get())}) {
        SCOPED_TRACE(wall == &whole ? "whole" : "in bands");
        ASSERT_EQ(wall->reduced.size(), 2u);
        EXPECT_EQ(wall->reduced[0]->width, 1153);
        EXPECT_EQ(wall->reduced[0]->height, 100);
        // 256 x 256 textures hold a copy this flat in fewer texels than 512 x 512 ones.
        EXPECT_EQ(wall->reduced[0]->tileSide, kReducedTileSide / 2);
        EXPECT_EQ(wall->reduced[0]->textures.size(), 5u);
        EXPECT_EQ(wall->reduced[1]->width, 577);
        EXPECT_TRUE(WallPixels(wall->reduced[0].get()) == half);
        EXPECT_TRUE(WallPixels(wall->reduced[1].get()) == quarter);
    }

    // The texels beyond a copy's right and bottom edge repeat its last column and row.
    const CWall* copy = whole.reduced[0].get();
    const int side = copy->tileSide;
    std::vector<uint8_t> texels(size_t(side) * side * 4);
    glBindTexture(GL_TEXTURE_2D, copy->textures.back());
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const int edgeX = 1153 - 4 * side;  // the last tile's columns
    auto texel = [&](int x, int y) {
        return std::vector<uint8_t>(texels.begin() + (size_t(y) * side + x) * 4,
                                    texels.begin() + (size_t(y) * side + x + 1) * 4);
    };
    EXPECT_EQ(texel(edgeX, 10), texel(edgeX - 1, 10));
    EXPECT_EQ(texel(5, 100), texel(5, 99));
    EXPECT_EQ(texel(edgeX, 100), texel(edgeX - 1, 99));

    // Rows given out of order would leave holes: no copies then. A picture a view at half
    // its size shows in a few hundred tiles has none.
    std::unique_ptr<CWall> holes(CWall::CreateUnfilled(width, height));
    holes->MakeTiles(0, 64, pixels.data(), width * 4);
    holes->MakeTiles(128, 64, pixels.data() + size_t(128) * width * 4, width * 4);
    EXPECT_TRUE(holes->reduced.empty());
    CWall small(2048, 8, Pattern(2048, 8).data());
    EXPECT_TRUE(small.reduced.empty());
    // Where both sizes take as many texels, the larger textures: fewer of them to draw.
    CWall even(3072, 1024, Pattern(3072, 1024).data());
    ASSERT_EQ(even.reduced.size(), 2u);
    EXPECT_EQ(even.reduced[0]->tileSide, kReducedTileSide);  // 1536 x 512
    EXPECT_EQ(even.reduced[0]->textures.size(), 3u);
    EXPECT_EQ(even.reduced[1]->tileSide, kReducedTileSide / 2);  // 768 x 256
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneGlTest, AViewAtHalfThePicturesSizeOrLessTakesTheCopyThatSuitsIt)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 64));
    InitRenderer();
    const std::vector<uint8_t> pixels = Pattern(2306, 200);
    CWall wall(2306, 200, pixels.data());
    ASSERT_EQ(wall.reduced.size(), 2u);
    struct Case {
        float pixelsPerTexel;
        const CWall* want;
    };
    const Case cases[] = {
        {2.0f, &wall},
        {1.0f, &wall},
        {0.51f, &wall},
        {0.5f, wall.reduced[0].get()},
        {0.3f, wall.reduced[0].get()},
        {0.25f, wall.reduced[1].get()},
        {0.01f, wall.reduced[1].get()},
        {0.0f, &wall},
        {std::nanf(""), &wall},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wall.ForScale(c.pixelsPerTexel), c.want) << c.pixelsPerTexel;

    // A picture whose rows are not all made yet draws its tiles.
    std::unique_ptr<CWall> part(CWall::CreateUnfilled(2306, 200));
    part->MakeTiles(0, 64, pixels.data(), 2306 * 4);
    EXPECT_EQ(part->ForScale(0.25f), part.get());
}

TEST_F(SceneFixedFunctionTest, AQuarterSizeViewShowsTheMeanOfEachBlockOfTexels)
{
    // Columns in fours: one white, three black. Filtering the full tiles at a quarter of
    // their size picks two of the black ones for every view pixel; the copy shows their mean.
    const int width = 2304, height = 256;
    ASSERT_NO_FATAL_FAILURE(OpenWindow(width / 4, height / 4));
    InitRenderer();
    std::vector<uint8_t> pixels(size_t(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 4)
            std::memset(pixels.data() + (size_t(y) * width + x) * 4, 255, 4);
    }
    CWall wall(width, height, pixels.data());
    glClearColor(0.3f, 0.3f, 0.3f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, width / 4, height / 4);
    LoadIdentity();
    Ortho(0, float(width / 4), 0, float(height / 4), -1000, 1000);
    Scale(0.25f, 0.25f, 1.0f);
    g_smoothWall = true;
    DrawWall(&wall);
    std::vector<uint8_t> shown(size_t(width / 4) * (height / 4) * 4);
    glReadPixels(0, 0, width / 4, height / 4, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
    int wrong = 0;
    for (size_t i = 0; i < shown.size(); i += 4)
        wrong += std::abs(int(shown[i]) - 64) > 1;
    EXPECT_EQ(wrong, 0) << "first pixel " << int(shown[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
