// The command line: argv's bytes, or on Windows the wide command line in UTF-8.
#include "foundation/arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "foundation/utf8.h"
#endif

namespace {

std::vector<std::string> BytesOf(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i)
        arguments.emplace_back(argv[i]);
    return arguments;
}

#ifdef _WIN32
// Owns the array CommandLineToArgvW gives.
struct WideArguments {
    wchar_t** list = nullptr;
    ~WideArguments()
    {
        if (list != nullptr)
            LocalFree(list);
    }
};

bool IsSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The argument in UTF-8, each lone surrogate replaced.
std::string Utf8Argument(std::wstring wide)
{
    for (size_t i = 0; i < wide.size(); ++i) {
        if (IsHighSurrogate(wide[i]) && i + 1 < wide.size() && IsLowSurrogate(wide[i + 1]))
            ++i;
        else if (IsSurrogate(wide[i]))
            wide[i] = 0xFFFD;
    }
    std::string text;
    Utf8FromWide(wide.c_str(), &text);
    return text;
}
#endif

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv)
{
#ifdef _WIN32
    int count = 0;
    WideArguments wide;
    wide.list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide.list != nullptr) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i)
            arguments.push_back(Utf8Argument(wide.list[i]));
        return arguments;
    }
#endif
    return BytesOf(argc, argv);
}
