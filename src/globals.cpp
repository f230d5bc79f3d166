// The process-wide state of the application, and putting it back to its start values.
#include "src/globals.h"

std::recursive_mutex g_appLock;
std::recursive_mutex g_deviceLock;

CWin* g_window = nullptr;
zorGRAPHICS* g_device = nullptr;
CLumaApp* g_app = nullptr;
CPictureLoader* g_loader = nullptr;
CFolderLister* g_lister = nullptr;
CPictureLoader* g_ahead = nullptr;

float g_weightR = 1.0f;
float g_weightG = 1.0f;
float g_weightB = 0.0f;
float g_power = 10.0f;
bool g_snapshotRequested = false;
bool g_paused = false;
bool g_ready = false;
int32_t g_reloadDepth = 0;

void ResetGlobals()
{
    g_weightR = 1.0f;
    g_weightG = 1.0f;
    g_weightB = 0.0f;
    g_power = 10.0f;
    g_snapshotRequested = false;
    g_paused = false;
    g_ready = false;
    g_reloadDepth = 0;
}
