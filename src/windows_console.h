// Windows: the GUI program's standard output and error in the console it was started from.
#pragma once

// When started from a console (cmd, PowerShell) and its standard output or error is not
// already open (a pipe, a file), attaches to that console and writes there.
void AttachParentConsole();
