// The processor-side glow pass as it first shipped, kept to measure and check the fast one against.
#pragma once

class OxSurface;

// A new PF_RGBA copy of the picture with the current glow settings applied one
// pixel at a time; null when it cannot be made.
OxSurface* CreateGlowCopyReference(const OxSurface* picture);
