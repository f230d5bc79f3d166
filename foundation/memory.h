// How much memory the system can still give.
#pragma once

#include <cstdint>

// The bytes of memory the system can give without swapping (free memory and caches it can
// drop); -1 when it does not say.
int64_t AvailableMemoryBytes();
