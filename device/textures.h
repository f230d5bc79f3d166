// Texture binding operations that the device's drawing and render-state files share.
#pragma once

#include "device/device_state.h"

// The record at the index, or the checkerboard fallback (made on first use).
// Null only when the device has no texture table.
TextureRecord* LookUpOrFallback(int index);

// Binds the record's texture for drawing (null: no texture), trusting the
// cached binding only while GL still reports the same texture bound.
void BindForDrawing(TextureRecord* record);

// Forgets and unbinds the drawing texture, if there is one.
void UnbindTexture();

// 0 nearest, 1 linear on the bound texture; any other mode is only stored.
void SetFilter(int mode);

// COMMAND_CREATE_TARGET: a framebuffer render target of width x height at the index.
// Returns the index, or 0 when nothing is stored.
int CreateFramebufferTarget(int index, int width, int height);
