// Windows: the GUI program's standard output and error in the console it was started from.
#include "src/windows_console.h"

#include <windows.h>

#include <cstdio>

namespace {

bool IsOpenHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void AttachParentConsole()
{
    // Redirected output (a pipe, a file) is kept as it is: it is what the caller reads.
    const bool outputOpen = IsOpenHandle(STD_OUTPUT_HANDLE);
    const bool errorOpen = IsOpenHandle(STD_ERROR_HANDLE);
    if (outputOpen && errorOpen)
        return;
    // A GUI program gets no console of its own; started from Explorer there is none to join.
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outputOpen && std::freopen("CONOUT$", "w", stdout))
        std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!errorOpen && std::freopen("CONOUT$", "w", stderr))
        std::setvbuf(stderr, nullptr, _IONBF, 0);
}
