// The keys: which close the program; the others are queued on CLumaApp and act in its update.
#pragma once

#include "window/window.h"

// The key closes the program: Escape, Q, Ctrl+Q (Escape leaves full screen first, which
// the window's key handling sees to).
bool IsQuitKey(const KeyPress& press);
