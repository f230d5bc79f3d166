// The pieces of the window layer that depend on the native window system.
#pragma once

#include "window/window.h"

// Installs the X error handlers (again, if something replaced them): errors
// about windows that have gone away are logged and ignored. Does nothing where
// the window system is not X11 (Win32 has no such handlers: its calls return
// their errors).
void InstallXErrorHandlers();

// Makes the new window ready in ways that only its window system needs.
void PrepareNativeWindow(WindowHandle handle);
