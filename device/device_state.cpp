// The device's process-wide state and the deletion of its textures.
#include "device/device_state.h"

#include <GL/glew.h>

DeviceState g_deviceState;

namespace {
bool g_framebufferObjectsHidden = false;
}

TextureRecord* TextureTable::LookUp(int index) const
{
    if (index < 0 || size_t(index) >= slots.size())
        return nullptr;
    return slots[size_t(index)].get();
}

bool HasFramebufferObjects()
{
    return !g_framebufferObjectsHidden && glGenFramebuffers != nullptr;
}

void HideFramebufferObjects(bool hide)
{
    g_framebufferObjectsHidden = hide;
}

void DeleteOneTexture(int index)
{
    DeviceState& state = g_deviceState;
    if (state.currentTexture) {
        state.currentTexture = nullptr;
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    if (!state.textureTable)
        return;
    TextureRecord* record = state.textureTable->LookUp(index);
    if (!record)
        return;
    // The framebuffer goes even while the objects are hidden: it exists all the same.
    if (record->framebuffer != 0 && glDeleteFramebuffers)
        glDeleteFramebuffers(1, &record->framebuffer);
    glDeleteTextures(1, &record->name);
    state.textureTable->slots[size_t(index)].reset();
}

void DeleteAllTextures(bool compact)
{
    DeviceState& state = g_deviceState;
    if (!state.textureTable)
        return;
    TextureTable& table = *state.textureTable;
    for (size_t i = 0; i < table.slots.size(); ++i)
        DeleteOneTexture(int(i));
    if (compact)
        table.slots.clear();
    if (table.fallback.name != 0) {
        glDeleteTextures(1, &table.fallback.name);
        table.fallback.name = 0;
    }
}
