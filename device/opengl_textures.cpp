// zorOpenGL texture table: creation, read-back, deletion, binding for drawing and render targets.
#include <GL/glew.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/protocol.h"
#include "device/textures.h"
#include "foundation/surface.h"

namespace {

const int kFallbackSize = 64;

// 8 x 8 squares of faint white (255, 255, 255, 64) and transparent black, faint at the origin.
std::vector<uint8_t> CheckerboardTexels()
{
    std::vector<uint8_t> texels(size_t(kFallbackSize) * kFallbackSize * 4, 0);
    for (int y = 0; y < kFallbackSize; ++y) {
        for (int x = 0; x < kFallbackSize; ++x) {
            if ((x / 8 + y / 8) % 2 != 0)
                continue;
            uint8_t* texel = texels.data() + (size_t(y) * kFallbackSize + x) * 4;
            texel[0] = texel[1] = texel[2] = 255;
            texel[3] = 64;
        }
    }
    return texels;
}

void MakeFallbackTexture(TextureRecord& fallback)
{
    const std::vector<uint8_t> texels = CheckerboardTexels();
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    g_deviceState.currentTexture = nullptr;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kFallbackSize, kFallbackSize, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    fallback.name = name;
    fallback.width = kFallbackSize;
    fallback.height = kFallbackSize;
}

// A size GL accepts for a level-0 image; anything else would leave a GL error behind.
bool IsTextureSize(int width, int height)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    return width >= 0 && height >= 0 && width <= largest && height <= largest;
}

// Makes a texture name and binds it for an upload; 0 when GL gives no name, as
// an upload would then land in the default texture.
GLuint BindNewTexture()
{
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0)
        return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    g_deviceState.currentTexture = nullptr;
    return name;
}

std::unique_ptr<TextureRecord> NewRecord(GLuint name, int width, int height, int userWidth,
                                         int userHeight)
{
    std::unique_ptr<TextureRecord> record(new TextureRecord());
    record->name = name;
    record->width = width;
    record->height = height;
    record->userWidth = userWidth;
    record->userHeight = userHeight;
    return record;
}

// Stores the record at the index, replacing (and deleting) what was there.
void StoreRecord(int index, std::unique_ptr<TextureRecord> record)
{
    DeleteOneTexture(index);
    if (!HasFramebufferObjects())
        record->isFramebuffer = false;
    std::vector<std::unique_ptr<TextureRecord>>& slots = g_deviceState.textureTable->slots;
    while (slots.size() <= size_t(index))
        slots.emplace_back();
    slots[size_t(index)] = std::move(record);
}

// The framebuffer that renders into the record's texture, made on first use; 0 when the
// texture cannot be a colour buffer (no image yet, or a format GL does not render to).
GLuint FramebufferFor(TextureRecord& record)
{
    if (record.framebuffer == 0) {
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        if (framebuffer == 0)
            return 0;
        record.framebuffer = framebuffer;
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, record.name, 0);
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, record.framebuffer);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return 0;
    }
    return record.framebuffer;
}

// Level-0 size of the bound texture, 0 x 0 when it has no image.
void BoundTextureSize(GLint* width, GLint* height)
{
    *width = 0;
    *height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
}

}  // namespace

TextureRecord* LookUpOrFallback(int index)
{
    TextureTable* table = g_deviceState.textureTable.get();
    if (!table)
        return nullptr;
    if (TextureRecord* record = table->LookUp(index))
        return record;
    if (table->fallback.name == 0)
        MakeFallbackTexture(table->fallback);
    return &table->fallback;
}

void BindForDrawing(TextureRecord* record)
{
    DeviceState& state = g_deviceState;
    // Other code (the scene) binds textures directly, so the cache is checked against GL.
    if (record && record == state.currentTexture) {
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        if (GLuint(bound) == record->name)
            return;
    }
    if (!record && !state.currentTexture)
        return;
    state.currentTexture = record;
    if (record) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, record->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        SetFilter(state.filterMode);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
}

void UnbindTexture()
{
    DeviceState& state = g_deviceState;
    if (!state.currentTexture)
        return;
    state.currentTexture = nullptr;
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
}

void SetFilter(int mode)
{
    if (mode == FILTER_NEAREST || mode == FILTER_LINEAR) {
        const GLint filter = mode == FILTER_NEAREST ? GL_NEAREST : GL_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    }
    g_deviceState.filterMode = mode;
}

int CreateFramebufferTarget(int index, int width, int height)
{
    if (index < 0 || !g_deviceState.textureTable || !HasFramebufferObjects())
        return 0;
    if (width <= 0 || height <= 0 || !IsTextureSize(width, height))
        return 0;
    // The target renders into a texture of its own size, so that it can be drawn and read.
    const GLuint name = BindNewTexture();
    if (name == 0)
        return 0;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    std::unique_ptr<TextureRecord> record = NewRecord(name, width, height, width, height);
    record->isFramebuffer = true;
    TextureRecord* target = record.get();
    StoreRecord(index, std::move(record));
    // Making the target must not end a render target that is open now.
    GLint open = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &open);
    const bool made = FramebufferFor(*target) != 0;
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(open));
    if (!made) {
        DeleteOneTexture(index);
        return 0;
    }
    return index;
}

bool zorOpenGL::HasTexture(int index)
{
    const TextureTable* table = g_deviceState.textureTable.get();
    return table && table->LookUp(index) != nullptr;
}

bool zorOpenGL::GetTextureInfo(int index, int* width, int* height, int* userWidth,
                               int* userHeight)
{
    const TextureRecord* record = LookUpOrFallback(index);
    if (!record)
        return false;
    if (width)
        *width = record->width;
    if (height)
        *height = record->height;
    if (userWidth)
        *userWidth = record->userWidth;
    if (userHeight)
        *userHeight = record->userHeight;
    return true;
}

bool zorOpenGL::ReadTexture(int index, void* destination)
{
    const TextureRecord* record = LookUpOrFallback(index);
    if (!record || !destination)
        return false;
    glBindTexture(GL_TEXTURE_2D, record->name);
    g_deviceState.currentTexture = nullptr;
    // Rows of 4-byte texels need no padding at this alignment.
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, destination);
    glBindTexture(GL_TEXTURE_2D, 0);
    return true;
}

bool zorOpenGL::GetBoundTextureSize(int* width, int* height)
{
    const TextureRecord* record = g_deviceState.currentTexture;
    if (width)
        *width = record ? record->width : 0;
    if (height)
        *height = record ? record->height : 0;
    return record != nullptr;
}

void zorOpenGL::DeleteTexture(int index, bool compact)
{
    if (index >= 0)
        DeleteOneTexture(index);
    else
        DeleteAllTextures(compact);
}

int zorOpenGL::CreateTexture(int index, int width, int height, const void* pixels, int,
                             int userWidth, int userHeight, int format)
{
    if (index < 0 || !g_deviceState.textureTable || !IsTextureSize(width, height))
        return 0;
    const GLuint name = BindNewTexture();
    if (name == 0)
        return 0;
    if (format == PF_RGBA && pixels) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels);
    } else if (format == PF_LUMINANCE && pixels) {
        // One byte per texel, kept as alpha.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, width, height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                     pixels);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    StoreRecord(index, NewRecord(name, width, height, userWidth, userHeight));
    return index;
}

void zorOpenGL::BindRenderTarget(int index)
{
    DeviceState& state = g_deviceState;
    state.currentTexture = nullptr;
    if (!state.textureTable)
        return;
    if (HasFramebufferObjects()) {
        // A texture that cannot take drawing leaves the frame buffer bound.
        if (TextureRecord* record = state.textureTable->LookUp(index))
            FramebufferFor(*record);
        return;
    }
    state.renderTargetStack->indexes.push_back(index);
}

void zorOpenGL::UnbindRenderTarget()
{
    DeviceState& state = g_deviceState;
    state.currentTexture = nullptr;
    if (!state.textureTable)
        return;
    if (HasFramebufferObjects()) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glBindTexture(GL_TEXTURE_2D, 0);
        return;
    }
    std::vector<int>& indexes = state.renderTargetStack->indexes;
    if (indexes.empty())
        return;
    const int index = indexes.back();
    indexes.pop_back();
    const TextureRecord* record = state.textureTable->LookUp(index);
    if (!record)
        return;
    glBindTexture(GL_TEXTURE_2D, record->name);
    // Copying past the texture's image is a GL error: copy at most what it holds.
    GLint imageWidth = 0, imageHeight = 0;
    BoundTextureSize(&imageWidth, &imageHeight);
    const GLsizei width = record->width < imageWidth ? record->width : imageWidth;
    const GLsizei height = record->height < imageHeight ? record->height : imageHeight;
    if (width > 0 && height > 0)
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
}
