// The pieces of the window layer that depend on the native window system.
#pragma once

// Installs the X error handlers (again, if something replaced them): errors
// about windows that have gone away are logged and ignored. Does nothing where
// the window system is not X11.
void InstallXErrorHandlers();
