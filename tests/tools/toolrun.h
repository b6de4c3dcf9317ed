// Running the command-line tools from tests, and small helpers around them.
#ifndef TILVOGL_TESTS_TOOLRUN_H
#define TILVOGL_TESTS_TOOLRUN_H

#include <string>

#include "mapwriter.h"

struct ToolResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a shell command line, capturing stdout and stderr separately.
ToolResult runTool(const std::string& commandLine);

// A fresh, empty folder for one test, under the build folder.
std::string scratchFolder(const std::string& name);

// Writes bytes to folder/name and returns the path; fails the test if it cannot.
std::string writeFile(const std::string& folder, const std::string& name, const tmapwriter::Bytes& bytes);

// The whole file's bytes ("" when it cannot be read).
std::string readBytes(const std::string& path);

// Quotes a path for the shell.
std::string shellQuoted(const std::string& path);

#endif
