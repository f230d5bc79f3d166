// The processor-side glow pass with a chosen number of threads (CreateGlowCopy is in src/app.h).
#pragma once

class OxSurface;

// CreateGlowCopy on at most threadCount threads; threadCount <= 0 takes one per core.
OxSurface* CreateGlowCopyOnThreads(const OxSurface* picture, int threadCount);
