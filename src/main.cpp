// glowview's entry point: the command line, then the program.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/arguments.h"
#include "foundation/log.h"
#include "src/run.h"
#ifdef _WIN32
#include "src/register.h"
#include "src/windows_console.h"
#endif

namespace {

// Set by the build from the project's version.
const char* const kVersion = GLOWVIEW_VERSION;

const char* const kUsage =
    "Usage: glowview [OPTION]... [FILE... | FOLDER]\n"
    "Shows a PNG, JPEG or WebP picture with a glow added to every pixel:\n"
    "(1 / (R*r^2 + G*g^2 + B*b^2 + 1))^LEVEL on its red, green and blue.\n"
    "One file shows the pictures of its folder, starting at it; a folder its pictures;\n"
    "several files those. Drop pictures or a folder on the window to show them.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and end\n"
    "      --version  show the version and end\n"
    "  -v, --verbose  write the full log (driver, tiles, library messages) on standard output\n"
    "      --register    add glowview to this user's Open with for PNG, JPEG, WebP (Windows)\n"
    "      --unregister  remove what --register added (Windows)\n"
    "\n"
    "Keys:\n"
    "  1, 2, 3        switch the red, green, blue weight between 0 and 1\n"
    "  Left, Right    raise or lower LEVEL (1 to 100); they repeat while held\n"
    "  F5             read the picture again\n"
    "  S              save the whole picture as the next free snapshotN.png\n"
    "  F              fit the picture to the window, or one texel per pixel\n"
    "  Page Down, Page Up  the next and the previous picture; they repeat while held\n"
    "  Home, End      the first and the last picture\n"
    "  +, -           zoom in or out a step (also =, keypad +, keypad -)\n"
    "  Ctrl+wheel     zoom around the point under the pointer\n"
    "  mouse drag, wheel (Shift: sideways)  move a picture larger than the window\n"
    "  F11            full screen, or back to the window (Escape leaves it too)\n"
    "  Space          pause; while paused, one step\n"
    "  Enter          resume\n"
    "  Escape, Q      quit (also Ctrl+Q)\n";

enum class Parse { Run, Help, Version, Register, Unregister, Error };

struct CommandLine {
    RunOptions run;
    bool verbose = false;
    const char* badOption = nullptr;
};

Parse ParseCommandLine(const std::vector<std::string>& arguments, CommandLine* line)
{
    bool optionsEnd = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const char* arg = arguments[i].c_str();
        if (!optionsEnd && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                optionsEnd = true;
            } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
                return Parse::Help;
            } else if (std::strcmp(arg, "--version") == 0) {
                return Parse::Version;
            } else if (std::strcmp(arg, "--register") == 0) {
                return Parse::Register;
            } else if (std::strcmp(arg, "--unregister") == 0) {
                return Parse::Unregister;
            } else if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--verbose") == 0) {
                line->verbose = true;
            } else {
                line->badOption = arg;
                return Parse::Error;
            }
            continue;
        }
        line->run.files.push_back(arg);
    }
    return Parse::Run;
}

// --register and --unregister: "Open with" is Explorer's; elsewhere the installed desktop
// entry offers the program.
int ChangeOpenWith(Parse action)
{
#ifdef _WIN32
    return action == Parse::Register ? RegisterOpenWith() : UnregisterOpenWith();
#else
    std::fprintf(stderr, "glowview: %s is for Windows only; here the installed desktop entry "
                 "offers glowview\n", action == Parse::Register ? "--register" : "--unregister");
    return 1;
#endif
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    AttachParentConsole();
#endif
    CommandLine line;
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    const Parse parse = ParseCommandLine(arguments, &line);
    switch (parse) {
    case Parse::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Parse::Version:
        std::printf("glowview %s\n", kVersion);
        return 0;
    case Parse::Register:
    case Parse::Unregister:
        return ChangeOpenWith(parse);
    case Parse::Error:
        std::fprintf(stderr, "glowview: unknown option '%s'\n%s", line.badOption, kUsage);
        return 2;
    case Parse::Run:
        break;
    }
    // Without -v standard output stays for what the user asked for.
    SetLogThreshold(line.verbose ? LOG_VERBOSE : LOG_NONE);
    return RunApplication(line.run);
}
