// The application's process-wide state: the window, the device, the application object, the glow
// settings, the flags of the loop, and the locks that guard them.
#pragma once

#include <cstdint>
#include <mutex>

#include "device/graphics.h"

class CWin;
class CLumaApp;
class CPictureLoader;
class CFolderLister;

// Both locks are re-entrant; g_deviceLock is only taken alone or under g_appLock.
extern std::recursive_mutex g_appLock;
extern std::recursive_mutex g_deviceLock;
using LockGuard = std::lock_guard<std::recursive_mutex>;

extern CWin* g_window;
extern zorGRAPHICS* g_device;
extern CLumaApp* g_app;
// Reads pictures off the window's thread; null where loads are read on it (tests).
extern CPictureLoader* g_loader;
// Lists folders off the window's thread; null where they are listed on it (tests).
extern CFolderLister* g_lister;
// Reads the neighbours of the picture shown ahead of the user; null where nothing is (tests).
extern CPictureLoader* g_ahead;

extern float g_weightR;
extern float g_weightG;
extern float g_weightB;
extern float g_power;
extern bool g_snapshotRequested;
extern bool g_paused;
extern bool g_ready;
extern int32_t g_reloadDepth;

// Puts the glow settings and the flags back to their start values.
void ResetGlobals();
