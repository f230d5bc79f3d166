// glowview's entry point: the command line, then the program.
#include <cstdio>
#include <cstring>

#include "foundation/log.h"
#include "src/run.h"

namespace {

const char* const kVersion = "1.0";

const char* const kUsage =
    "Usage: glowview [OPTION]... [FILE]\n"
    "Shows a PNG, JPEG or WebP picture with a glow added to every pixel:\n"
    "(1 / (R*r^2 + G*g^2 + B*b^2 + 1))^LEVEL on its red, green and blue.\n"
    "Drop a picture on the window to show it.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and end\n"
    "      --version  show the version and end\n"
    "  -v, --verbose  write the full log (driver, tiles, library messages) on standard output\n"
    "\n"
    "Keys:\n"
    "  1, 2, 3        switch the red, green, blue weight between 0 and 1\n"
    "  Left, Right    raise or lower LEVEL (1 to 100); they repeat while held\n"
    "  F5             read the picture again\n"
    "  S              save the whole picture as the next free snapshotN.png\n"
    "  F              fit the picture to the window, or one texel per pixel\n"
    "  +, -           zoom in or out a step (also = and the keypad's + and -)\n"
    "  Ctrl+wheel     zoom around the point under the pointer\n"
    "  mouse drag, wheel (Shift: sideways)  move a picture larger than the window\n"
    "  F11            full screen, or back to the window (Escape leaves it too)\n"
    "  Space          pause; while paused, one step\n"
    "  Enter          resume\n"
    "  Escape, Q      quit (also Ctrl+Q)\n";

enum class Parse { Run, Help, Version, Error };

struct CommandLine {
    RunOptions run;
    bool verbose = false;
    const char* badOption = nullptr;
};

Parse ParseCommandLine(int argc, char** argv, CommandLine* line)
{
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnd && arg[0] == '-' && arg[1] != '\0') {
            if (std::strcmp(arg, "--") == 0) {
                optionsEnd = true;
            } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
                return Parse::Help;
            } else if (std::strcmp(arg, "--version") == 0) {
                return Parse::Version;
            } else if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--verbose") == 0) {
                line->verbose = true;
            } else {
                line->badOption = arg;
                return Parse::Error;
            }
            continue;
        }
        if (!line->run.startFile)
            line->run.startFile = arg;
        ++line->run.fileCount;
    }
    return Parse::Run;
}

}  // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    switch (ParseCommandLine(argc, argv, &line)) {
    case Parse::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Parse::Version:
        std::printf("glowview %s\n", kVersion);
        return 0;
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
