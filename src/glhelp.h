// The renderer's own state: the choice between the GLSL and the fixed-function path.
#pragma once

// True when the driver offers GLSL program objects.
extern bool g_hasShaders;

// Rebuilds the renderer: logs the driver information and decides g_hasShaders.
void InitRenderer();
