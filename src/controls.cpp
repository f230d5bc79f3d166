// The keys of the update step: which keys act, their queue, and acting on it.
#include "src/controls.h"

#include <algorithm>

#include "src/app.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/wallpaper.h"
#include "src/window_handlers.h"

bool IsQuitKey(const KeyPress& press)
{
    return press.virtualKey == VK_ESCAPE || press.virtualKey == 0x51;
}

namespace {

// The settings the glow is made from.
struct GlowSettings {
    float r, g, b, power;
    bool operator==(const GlowSettings& other) const
    {
        return r == other.r && g == other.g && b == other.b && power == other.power;
    }
};

GlowSettings CurrentGlow()
{
    return GlowSettings{g_weightR, g_weightG, g_weightB, g_power};
}

float Toggled(float weight)
{
    return weight == 0.0f ? 1.0f : 0.0f;
}

// F5: the picture is read again; a picture that now has another size gets a
// window of that size.
void ReloadPicture(CLumaApp* app)
{
    const int width = app->pictureWidth;
    const int height = app->pictureHeight;
    app->Reload(app->viewWidth, app->viewHeight);
    // The neighbours read ahead may have changed as well, and the folder with them.
    app->ahead.clear();
    app->aheadAsked.clear();
    app->ReadAhead();
    app->RelistFolder();
    if (g_window && (app->pictureWidth != width || app->pictureHeight != height))
        SizeClientArea(g_window, app->pictureWidth, app->pictureHeight);
}

struct Control {
    int virtualKey;
    bool repeats;  // a held key acts again at the system's key-repeat pace
    void (*act)(CLumaApp* app);
};

// The keys of the update step, by virtual-key code; each press acts once.
const Control kControls[] = {
    {VK_F5, false, ReloadPicture},
    {VK_LEFT, true, [](CLumaApp*) { g_power = std::min(g_power + 1.0f, 100.0f); }},
    {VK_RIGHT, true, [](CLumaApp*) { g_power = std::max(g_power - 1.0f, 1.0f); }},
    {0x31, false, [](CLumaApp*) { g_weightR = Toggled(g_weightR); }},
    {0x32, false, [](CLumaApp*) { g_weightG = Toggled(g_weightG); }},
    {0x33, false, [](CLumaApp*) { g_weightB = Toggled(g_weightB); }},
    {0x53, false, [](CLumaApp*) { g_snapshotRequested = true; }},
    // F: fit the whole picture to the window, or back to one texel per pixel.
    {0x46, false, [](CLumaApp* app) { app->ToggleFit(); }},
    // Page Down, Page Up: the next and the previous picture; Home, End: the first and the last.
    // A held key moves at the key-repeat pace; a picture not read in time is skipped.
    {VK_NEXT, true, [](CLumaApp* app) { app->BrowseStep(+1); }},
    {VK_PRIOR, true, [](CLumaApp* app) { app->BrowseStep(-1); }},
    {VK_HOME, false, [](CLumaApp* app) { app->BrowseJump(+1); }},
    {VK_END, false, [](CLumaApp* app) { app->BrowseJump(-1); }},
    // + (the = key) and -, on the main keys and the keypad: zoom a step around the middle.
    {VK_OEM_PLUS, true, [](CLumaApp* app) { app->ZoomBy(1); }},
    {VK_ADD, true, [](CLumaApp* app) { app->ZoomBy(1); }},
    {VK_OEM_MINUS, true, [](CLumaApp* app) { app->ZoomBy(-1); }},
    {VK_SUBTRACT, true, [](CLumaApp* app) { app->ZoomBy(-1); }},
};

const Control* FindControl(int virtualKey)
{
    for (const Control& control : kControls) {
        if (control.virtualKey == virtualKey)
            return &control;
    }
    return nullptr;
}

}  // namespace

void CLumaApp::QueueKey(const KeyPress& press)
{
    LockGuard lock(g_appLock);
    const Control* control = FindControl(press.virtualKey);
    if (!control || (press.repeat && !control->repeats))
        return;
    pendingKeys.push_back(press);
}

bool CLumaApp::ApplyKeys()
{
    LockGuard lock(g_appLock);
    if (pendingKeys.empty())
        return false;
    const GlowSettings before = CurrentGlow();
    while (!pendingKeys.empty()) {
        const KeyPress press = pendingKeys.front();
        pendingKeys.pop_front();
        if (const Control* control = FindControl(press.virtualKey))
            control->act(this);
    }
    // Only a new glow needs the processor-side pass again; fit, snapshot and a reload
    // (which sets the countdown itself) leave it as it is.
    if (!g_hasShaders && !(CurrentGlow() == before))
        countdown = 20;
    UpdateTitle(hwnd);
    Invalidate();
    return true;
}
