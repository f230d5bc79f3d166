// Tests of the device's texture table, fallback texture, drawing binds and render targets.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "foundation/surface.h"
#include "frame.h"
#include "gl_window.h"

namespace {

// The texel of the fallback checkerboard at x, y.
std::vector<uint8_t> CheckerTexel(int x, int y)
{
    if ((x / 8 + y / 8) % 2 == 0)
        return {255, 255, 255, 64};
    return {0, 0, 0, 0};
}

GLint BoundTexture()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

GLint BoundTextureParameter(GLenum parameter)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

class TextureTest : public GlWindowTest {
protected:
    void SetUp() override { OpenWindow(64, 64); }
    void TearDown() override
    {
        HideFramebufferObjects(false);
        GlWindowTest::TearDown();
    }
    size_t SlotCount() const { return g_deviceState.textureTable->slots.size(); }
    // The 2-D view of a drawable or target size w x h, with plain replacing writes.
    void View(int w, int h)
    {
        const int rectangle[4] = {0, 0, w, h};
        device.Set2D(w, h, rectangle);
        device.SetRenderState(RENDER_BLEND, BLEND_REPLACE);
        device.SetColor(1, 1, 1, 1);
    }
};

}  // namespace

TEST_F(TextureTest, CreateTextureStoresRecordsAtTheirIndexes)
{
    const uint8_t pixels[2 * 2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(device.CreateTexture(5, 2, 2, pixels, 0, 30, 40, PF_RGBA), 5);
    EXPECT_EQ(SlotCount(), 6u);
    EXPECT_FALSE(device.HasTexture(3));
    EXPECT_TRUE(device.HasTexture(5));
    EXPECT_FALSE(device.HasTexture(6));
    EXPECT_FALSE(device.HasTexture(-1));

    int name = 0;
    const int five = 5;
    ASSERT_TRUE(device.GetValue(VALUE_TEXTURE_NAME, &five, &name));
    EXPECT_NE(name, 0);
    EXPECT_TRUE(glIsTexture(GLuint(name)));
    int w = 0, h = 0, uw = 0, uh = 0;
    EXPECT_TRUE(device.GetTextureInfo(5, &w, &h, &uw, &uh));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(uw, 30);
    EXPECT_EQ(uh, 40);
    const std::vector<uint8_t> texels = ReadTexels(device, 5);
    EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + 16),
              std::vector<uint8_t>(pixels, pixels + 16));
    EXPECT_EQ(texels[16], 0xCD) << "nothing written past the texels";

    // A second texture at the same index replaces and deletes the first.
    EXPECT_EQ(device.CreateTexture(5, 1, 1, pixels, 0, 0, 0, PF_RGBA), 5);
    EXPECT_FALSE(glIsTexture(GLuint(name)));
    EXPECT_EQ(SlotCount(), 6u);

    // Index 0 is stored, though its result reads like a failure.
    EXPECT_EQ(device.CreateTexture(0, 1, 1, pixels, 0, 0, 0, PF_RGBA), 0);
    EXPECT_TRUE(device.HasTexture(0));

    // Refused: a negative index, and sizes GL would reject.
    EXPECT_EQ(device.CreateTexture(-2, 1, 1, pixels, 0, 0, 0, PF_RGBA), 0);
    EXPECT_EQ(device.CreateTexture(8, -1, 4, pixels, 0, 0, 0, PF_RGBA), 0);
    EXPECT_EQ(device.CreateTexture(8, 1 << 30, 1, nullptr, 0, 0, 0, PF_RGBA), 0);
    EXPECT_EQ(SlotCount(), 6u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, UploadsEachFormatRowByRow)
{
    // Odd widths catch a wrong unpack alignment.
    std::vector<uint8_t> rgba(3 * 2 * 4), alpha(3 * 3);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = uint8_t(10 + i);
    for (size_t i = 0; i < alpha.size(); ++i)
        alpha[i] = uint8_t(100 + i);
    std::vector<uint8_t> alphaTexels;
    for (uint8_t a : alpha)
        alphaTexels.insert(alphaTexels.end(), {0, 0, 0, a});
    struct Row {
        const char* what;
        int width, height, format;
        const uint8_t* pixels;
        std::vector<uint8_t> texels;  // empty: no image
    } rows[] = {
        {"PF_RGBA", 3, 2, PF_RGBA, rgba.data(), rgba},
        {"PF_LUMINANCE as alpha", 3, 3, PF_LUMINANCE, alpha.data(), alphaTexels},
        {"PF_RGB makes no image", 3, 2, PF_RGB, rgba.data(), {}},
        {"no pixels make no image", 3, 2, PF_RGBA, nullptr, {}},
    };
    int index = 1;
    for (const Row& row : rows) {
        ASSERT_EQ(device.CreateTexture(index, row.width, row.height, row.pixels, 0, 0, 0,
                                       row.format),
                  index)
            << row.what;
        const std::vector<uint8_t> texels = ReadTexels(device, index);
        if (row.texels.empty()) {
            int name = 0;
            device.GetValue(VALUE_TEXTURE_NAME, &index, &name);
            glBindTexture(GL_TEXTURE_2D, GLuint(name));
            GLint width = -1;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
            glBindTexture(GL_TEXTURE_2D, 0);
            EXPECT_EQ(width, 0) << row.what;
        } else {
            EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + row.texels.size()),
                      row.texels)
                << row.what;
        }
        ++index;
    }
}

TEST_F(TextureTest, MissingIndexesUseTheCheckerboard)
{
    int w = 0, h = 0, uw = -1, uh = -1;
    EXPECT_TRUE(device.GetTextureInfo(9, &w, &h, &uw, &uh));
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
    EXPECT_EQ(uw, 0);
    EXPECT_EQ(uh, 0);
    const GLuint fallback = g_deviceState.textureTable->fallback.name;
    EXPECT_NE(fallback, 0u) << "the fallback exists after the first miss";
    EXPECT_FALSE(device.HasTexture(9));
    int name = -1;
    const int nine = 9;
    device.GetValue(VALUE_TEXTURE_NAME, &nine, &name);
    EXPECT_EQ(name, 0) << "code 4 reports no fallback";

    std::vector<uint8_t> texels = ReadTexels(device, 9);
    ASSERT_EQ(texels.size(), 16384u + 4);
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            wrong += std::vector<uint8_t>(texels.begin() + (y * 64 + x) * 4,
                                          texels.begin() + (y * 64 + x) * 4 + 4) !=
                     CheckerTexel(x, y);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(std::vector<uint8_t>(texels.begin(), texels.begin() + 4),
              (std::vector<uint8_t>{255, 255, 255, 64}));
    EXPECT_EQ(std::vector<uint8_t>(texels.begin() + 8 * 4, texels.begin() + 8 * 4 + 4),
              (std::vector<uint8_t>{0, 0, 0, 0}));

    // Deleting everything deletes the fallback too; the next miss makes it again.
    device.DeleteTexture(-1, false);
    EXPECT_FALSE(glIsTexture(fallback));
    EXPECT_EQ(g_deviceState.textureTable->fallback.name, 0u);
    texels = ReadTexels(device, 2);
    EXPECT_NE(g_deviceState.textureTable->fallback.name, 0u);
    EXPECT_EQ(texels[(8 * 64 + 8) * 4 + 3], 64) << "texel (8, 8) is faint white";
    EXPECT_FALSE(device.ReadTexture(2, nullptr));
}

TEST_F(TextureTest, DeleteTextureDeletesOneOrAll)
{
    const uint8_t pixel[4] = {1, 2, 3, 4};
    ASSERT_EQ(device.CreateTexture(1, 1, 1, pixel, 0, 0, 0, PF_RGBA), 1);
    ASSERT_EQ(device.CreateTexture(2, 1, 1, pixel, 0, 0, 0, PF_RGBA), 2);
    int one = 0, two = 0;
    const int indexes[2] = {1, 2};
    device.GetValue(VALUE_TEXTURE_NAME, &indexes[0], &one);
    device.GetValue(VALUE_TEXTURE_NAME, &indexes[1], &two);

    device.BeginTextured(2);
    device.EndTextured();
    device.DeleteTexture(7, false);  // past the end: only the drawing texture is let go
    int w = -1, h = -1;
    EXPECT_FALSE(device.GetBoundTextureSize(&w, &h));
    EXPECT_EQ(w, 0);
    EXPECT_TRUE(device.HasTexture(1));
    EXPECT_TRUE(device.HasTexture(2));

    device.DeleteTexture(1, false);
    EXPECT_FALSE(device.HasTexture(1));
    EXPECT_FALSE(glIsTexture(GLuint(one)));
    EXPECT_EQ(SlotCount(), 3u) << "deleting one keeps the slots";

    device.DeleteTexture(-1, false);
    EXPECT_FALSE(glIsTexture(GLuint(two)));
    EXPECT_EQ(SlotCount(), 3u);
    EXPECT_FALSE(device.HasTexture(2));
    device.DeleteTexture(-1, true);
    EXPECT_EQ(SlotCount(), 0u);
}

TEST_F(TextureTest, BindForDrawingTrustsItsCacheOnlyWhileGlAgrees)
{
    const uint8_t pixels[4 * 4 * 4] = {};
    ASSERT_EQ(device.CreateTexture(2, 4, 3, pixels, 0, 0, 0, PF_RGBA), 2);
    int w = -1, h = -1;
    EXPECT_FALSE(device.GetBoundTextureSize(&w, &h)) << "creation clears the drawing texture";
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);

    int name = 0;
    const int two = 2;
    device.GetValue(VALUE_TEXTURE_NAME, &two, &name);
    device.SetRenderState(RENDER_FILTER, FILTER_LINEAR);
    device.BeginTextured(2);
    device.EndTextured();
    EXPECT_TRUE(device.GetBoundTextureSize(&w, &h));
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(BoundTexture(), name);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR) << "the device filter";

    // While GL still has it bound, a second bind changes nothing: a clamp set now stays.
    device.SetRenderState(RENDER_WRAP_S, WRAP_CLAMP);
    device.BeginTextured(2);
    device.EndTextured();
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    // Once other code has bound another texture, the next bind is real and resets the wrap.
    glBindTexture(GL_TEXTURE_2D, 0);
    device.BeginTextured(2);
    device.EndTextured();
    EXPECT_EQ(BoundTexture(), name);
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);

    // Op 6 forgets the cache, so a bind after it is real as well.
    device.SetRenderState(RENDER_WRAP_S, WRAP_CLAMP);
    device.Command(COMMAND_FORGET_TEXTURE, 0, nullptr, 0);
    EXPECT_FALSE(device.GetBoundTextureSize(nullptr, nullptr));
    device.BeginTextured(2);
    device.EndTextured();
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);

    // Index 0 means no texture.
    device.BeginTextured(0);
    EXPECT_FALSE(device.GetBoundTextureSize(&w, &h));
    EXPECT_EQ(BoundTexture(), 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, FramebufferTargetsTakeDrawingAndCanBeDrawnAndRead)
{
    int available = 0;
    ASSERT_TRUE(device.GetValue(VALUE_HAS_FRAMEBUFFERS, nullptr, &available));
    ASSERT_EQ(available, 1) << "Mesa offers framebuffer objects in every setting";

    int data[3] = {3, 16, 8};
    EXPECT_EQ(device.Command(COMMAND_CREATE_TARGET, 0, data, 0), 3);
    int w = 0, h = 0, uw = 0, uh = 0;
    EXPECT_TRUE(device.GetTextureInfo(3, &w, &h, &uw, &uh));
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(uw, 16);
    EXPECT_EQ(uh, 8);
    EXPECT_TRUE(g_deviceState.textureTable->LookUp(3)->isFramebuffer);

    // Into the target: dark blue everywhere, a red block in the top-left 4 x 2 texels.
    device.BindRenderTarget(3);
    View(16, 8);
    device.ClearColor(0, 0, 0.5f, 1);
    device.SetColor(1, 0, 0, 1);
    device.FillRect(0, 0, 4, 2);
    int open = -1;
    device.GetValue(VALUE_TARGET_OPEN, nullptr, &open);
    EXPECT_EQ(open, 0) << "framebuffer targets use no stack";
    device.UnbindRenderTarget();

    // GL rows run bottom-up: the view's top rows are the texture's last rows.
    const std::vector<uint8_t> texels = ReadTexels(device, 3);
    auto texel = [&](int x, int row) { return texels.data() + (row * 16 + x) * 4; };
    EXPECT_EQ(texel(0, 7)[0], 255);
    EXPECT_EQ(texel(3, 6)[0], 255);
    EXPECT_EQ(texel(4, 7)[0], 0);
    EXPECT_EQ(texel(0, 5)[0], 0);
    EXPECT_NEAR(texel(15, 0)[2], 128, 1);

    // The frame was not touched, and the target draws like any texture.
    View(64, 64);
    device.ClearColor(0, 1, 0, 1);
    device.BeginTextured(3);
    device.DrawTexturedRect(0, 0, 16, 8, 0, 1, 1, 0);
    device.EndTextured();
    const Frame frame(device, 64, 64);
    EXPECT_EQ(frame.Count({255, 0, 0}), 8);
    EXPECT_EQ(frame.At(0, 0), (Rgb{255, 0, 0}));
    EXPECT_TRUE(Near(frame.At(10, 5), {0, 0, 128}));
    EXPECT_EQ(frame.At(20, 20), (Rgb{0, 255, 0}));

    // Replacing or deleting a target deletes its framebuffer and texture.
    const GLuint framebuffer = g_deviceState.textureTable->LookUp(3)->framebuffer;
    EXPECT_TRUE(glIsFramebuffer(framebuffer));
    device.DeleteTexture(3, false);
    EXPECT_FALSE(glIsFramebuffer(framebuffer));

    // Refused: a negative index, an empty size.
    data[0] = -1;
    EXPECT_EQ(device.Command(COMMAND_CREATE_TARGET, 0, data, 0), 0);
    int empty[3] = {4, 0, 8};
    EXPECT_EQ(device.Command(COMMAND_CREATE_TARGET, 0, empty, 0), 0);
    EXPECT_FALSE(device.HasTexture(4));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, CreatedTexturesAreFramebufferTargetsToo)
{
    std::vector<uint8_t> pixels(8 * 8 * 4, 0);
    ASSERT_EQ(device.CreateTexture(2, 8, 8, pixels.data(), 0, 0, 0, PF_RGBA), 2);
    device.BindRenderTarget(2);
    View(8, 8);
    device.ClearColor(1, 1, 0, 1);
    device.UnbindRenderTarget();
    const std::vector<uint8_t> texels = ReadTexels(device, 2);
    EXPECT_EQ(texels[0], 255);
    EXPECT_EQ(texels[1], 255);
    EXPECT_EQ(texels[2], 0);
    EXPECT_EQ(texels[(8 * 8 - 1) * 4 + 1], 255);

    // A missing index, or a texture without an image, leaves drawing in the frame.
    ASSERT_EQ(device.CreateTexture(5, 8, 8, nullptr, 0, 0, 0, PF_RGBA), 5);
    for (int index : {9, 5}) {
        device.BindRenderTarget(index);
        GLint bound = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        EXPECT_EQ(bound, 0) << "index " << index;
        device.UnbindRenderTarget();
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, CopyBackTargetsNestAndCopyInnermostFirst)
{
    HideFramebufferObjects(true);
    int available = -1;
    device.GetValue(VALUE_HAS_FRAMEBUFFERS, nullptr, &available);
    EXPECT_EQ(available, 0);
    int data[3] = {6, 8, 8};
    EXPECT_EQ(device.Command(COMMAND_CREATE_TARGET, 0, data, 0), 0)
        << "no framebuffer targets without the objects";
    EXPECT_FALSE(device.HasTexture(6));

    std::vector<uint8_t> pixels(8 * 8 * 4, 0);
    ASSERT_EQ(device.CreateTexture(3, 8, 8, pixels.data(), 0, 0, 0, PF_RGBA), 3);
    ASSERT_EQ(device.CreateTexture(4, 4, 4, pixels.data(), 0, 0, 0, PF_RGBA), 4);
    View(64, 64);
    int open = -1;
    device.BindRenderTarget(3);
    device.GetValue(VALUE_TARGET_OPEN, nullptr, &open);
    EXPECT_EQ(open, 1);
    device.ClearColor(1, 0, 0, 1);
    device.BindRenderTarget(4);
    device.ClearColor(0, 1, 0, 1);
    device.UnbindRenderTarget();  // into 4: green
    device.GetValue(VALUE_TARGET_OPEN, nullptr, &open);
    EXPECT_EQ(open, 1);
    device.ClearColor(0, 0, 1, 1);
    device.FillRect(0, 0, 64, 64);
    device.UnbindRenderTarget();  // into 3: blue
    device.GetValue(VALUE_TARGET_OPEN, nullptr, &open);
    EXPECT_EQ(open, 0);
    device.UnbindRenderTarget();  // empty stack: nothing

    const std::vector<uint8_t> three = ReadTexels(device, 3);
    const std::vector<uint8_t> four = ReadTexels(device, 4);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(four[i * 4 + 1], 255) << "texel " << i << " of 4";
        EXPECT_EQ(four[i * 4 + 2], 0) << "texel " << i << " of 4";
    }
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(three[i * 4 + 2], 255) << "texel " << i << " of 3";

    // A target of a texture without an image, or a missing one, copies nothing and raises no error.
    ASSERT_EQ(device.CreateTexture(5, 8, 8, nullptr, 0, 0, 0, PF_RGBA), 5);
    device.BindRenderTarget(5);
    device.BindRenderTarget(11);
    device.UnbindRenderTarget();
    device.UnbindRenderTarget();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
