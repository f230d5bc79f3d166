// The renderer's set-up over the device's GL context.
#include "src/glhelp.h"

#include <GL/glew.h>

#include "src/app.h"

bool g_hasShaders = false;

void InitRenderer()
{
    {
        LockGuard deviceLock(g_deviceLock);
        if (g_device)
            g_device->LogDriverInfo();
    }
    g_hasShaders = glCreateProgram != nullptr;
}
