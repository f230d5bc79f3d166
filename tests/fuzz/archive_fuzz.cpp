// Fuzz target: FindArchiveMember over an archive in memory. The first byte
// gives the length of the requested name, which follows; the rest is the archive.
#include <cstdlib>
#include <string>

#include "foundation/archive.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t nameLength = data[0] < size - 1 ? data[0] : size - 1;
    const std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    const size_t skipped = 1 + nameLength;
    OxHolder<OxFile> file(new MemoryFile(data + skipped, size - skipped));
    const int found = FindArchiveMember(file.get(), name.c_str());
    // A member's data lies inside the archive.
    if (found < -1 || (found >= 0 && size_t(found) > size - skipped))
        std::abort();
    return 0;
}
