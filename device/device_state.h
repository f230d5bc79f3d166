// Process-wide state of the OpenGL device, shared by the files of the device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/graphics.h"

struct TextureRecord {
    uint32_t name = 0;  // GL texture name
    int width = 0;
    int height = 0;
    int userWidth = 0;
    int userHeight = 0;
    bool isFramebuffer = false;  // made as a render target by COMMAND_CREATE_TARGET
    // The framebuffer object that renders into the texture, made when first bound as a
    // target; 0 when none. Deleted with the record.
    uint32_t framebuffer = 0;
};

struct TextureTable {
    TextureRecord fallback;
    std::vector<std::unique_ptr<TextureRecord>> slots;

    // The record at the index, or null when the index is negative, past the end or empty.
    TextureRecord* LookUp(int index) const;
};

// Indexes of open copy-back render targets, innermost last.
struct RenderTargetStack {
    std::vector<int> indexes;
};

struct SavedState {
    int flags = 0;
    float colour[4] = {};
    float projection[16] = {};
    int viewport[4] = {};
    int blendSource = 0;
    int blendDestination = 0;
    int cullFaceMode = 0;
    int cullEnabled = 0;
    int filterMode = 0;
};

struct StateStack {
    std::vector<SavedState> states;
};

struct ShaderState {
    bool active = false;
    uint32_t program = 0;
};

struct DeviceState {
    WindowHandle window = nullptr;
    WindowHandle renderContext = nullptr;  // the window whose context the device made current
    int width = 0;
    int height = 0;
    bool fullScreen = false;
    int screenWidth = 0;
    int screenHeight = 0;
    int filterMode = 0;
    TextureRecord* currentTexture = nullptr;
    std::unique_ptr<TextureTable> textureTable;
    std::unique_ptr<RenderTargetStack> renderTargetStack;
    std::unique_ptr<StateStack> stateStack;
    std::unique_ptr<ShaderState> shaderState;
    std::vector<std::vector<uint8_t>> memoryBuffers;
};

extern DeviceState g_deviceState;

// Framebuffer objects are available (GLEW provides glGenFramebuffers).
bool HasFramebufferObjects();
// Test seam: with hide, the device acts as a driver without framebuffer objects,
// which no Mesa setting gives on its own.
void HideFramebufferObjects(bool hide);

// Deletes the texture at the index (and unbinds the drawing texture).
void DeleteOneTexture(int index);
// Deletes every texture and the fallback texture; compact empties the slot array.
void DeleteAllTextures(bool compact);
