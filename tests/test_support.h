// Helpers shared by the tests: test data paths, temporary directories, captured output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Path of a file below the shared test data folder.
std::string TestdataPath(const std::string& relative);

// Whole contents of a file; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// What the call writes to standard output.
std::string StdoutOf(const std::function<void()>& call);

// How often part stands in text, overlapping places counted.
int CountOf(const std::string& text, const std::string& part);

// Sets MESA_GL_VERSION_OVERRIDE=1.5 in this process, so that the contexts it
// makes from now on offer no GLSL. NOTE: under Wine Mesa reads the Unix
// environment, which this cannot change: there the variable must come from the
// test's environment, as the fixed-function CTest entries give it.
void UseFixedFunctionDriver();

// path with every '/' turned into the native separator ('\\' on Windows), as
// the path functions join names.
std::string NativePath(std::string path);

// Runs a shell command of the machine that hosts the display (xdotool, the
// XDND tool) and gives its exit status, as std::system does on Linux. Under
// Wine the command runs in the Unix shell; on Windows itself there is no such
// shell and the status is -1.
int RunHostCommand(const std::string& command);

// A fresh directory below the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + NativePath("/" + name); }

private:
    std::string path_;
};

// Makes the current directory `path` for the lifetime of the object.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& path);
    ~ScopedCurrentDir();

private:
    std::string previous_;
};
