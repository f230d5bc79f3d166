// Putting the application's and the scene's process-wide state back between tests.
#pragma once

#include <GL/glew.h>

#include "src/app.h"
#include "src/glhelp.h"

// The start values of the glow settings, the flags and the renderer. The wallpaper program
// is deleted, so call it while the test's GL context is still current.
inline void ResetAppGlobals()
{
    if (g_wallpaperProgram != 0 && glIsProgram && glIsProgram(g_wallpaperProgram)) {
        glUseProgram(0);
        glDeleteProgram(g_wallpaperProgram);
    }
    g_wallpaperProgram = 0;
    g_hasShaders = false;
    g_modelViewStack.reset();
    g_projectionMatrix = {};
    g_smoothWall = false;
    g_weightR = 1.0f;
    g_weightG = 1.0f;
    g_weightB = 0.0f;
    g_power = 10.0f;
    g_snapshotRequested = false;
    g_paused = false;
    g_ready = false;
    g_reloadDepth = 0;
}
