// Windows: glowview in Explorer's "Open with" for the pictures it reads, for the current user.
#pragma once

// Adds the program (its own path) to "Open with" for PNG, JPEG and WebP under
// HKEY_CURRENT_USER\Software\Classes. Says what it did on standard output; 0, or 1 with one
// line on standard error.
int RegisterOpenWith();

// Removes exactly what RegisterOpenWith adds, leaving the types' other entries alone.
// Says what it did on standard output; 0, or 1 with one line on standard error.
int UnregisterOpenWith();
