// The program's command line, spelt as paths are kept.
#pragma once

#include <string>
#include <vector>

// The arguments, the program's name first. On Windows they come from the wide command line,
// in UTF-8 (argv there is in the ANSI code page, which cannot spell every name); a lone
// surrogate in one becomes U+FFFD, so that the name it spoils still gets its line. Elsewhere
// they are argv's bytes.
std::vector<std::string> ProgramArguments(int argc, char** argv);
