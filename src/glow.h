// The processor-side glow pass with a chosen number of threads.
#pragma once

class OxSurface;

// CreateGlowCopy on at most threadCount threads; threadCount <= 0 takes one per core.
OxSurface* CreateGlowCopyOnThreads(const OxSurface* picture, int threadCount);

// A new PF_RGBA copy of the picture with the current glow settings applied on
// the processor; null when it cannot be made. The picture is not changed.
OxSurface* CreateGlowCopy(const OxSurface* picture);
