// The command line of the tools: one parser (glibc's getopt_long) that
// answers --help and --version, refuses unknown options, missing values and
// a wrong number of operands, and reads numbers within their limits.
//
// What the tools share: --help prints the usage text on stdout and exits 0;
// --version prints "NAME 1.0.0" and exits 0; anything wrong on the command
// line gives one line on stderr, "NAME: what is wrong", and exit status 2.
#ifndef TILVOGL_SUPPORT_OPTIONS_H
#define TILVOGL_SUPPORT_OPTIONS_H

#include <functional>
#include <string>
#include <vector>

namespace tmapoptions {

// "NAME 1.0.0" and a newline: the answer to --version of every program.
std::string versionLine(const std::string& program);

struct Option {
    const char* name;      // without the dashes: "layer"
    const char* valueName; // shown in the help ("N"); nullptr for a flag
    std::string wants;     // for a refused value: "--NAME wants WANTS, not VALUE"
    std::string help;      // one or more lines ('\n' between them)
    // Takes the value (nullptr for a flag); false refuses it.
    std::function<bool(const char* value)> apply;
};

struct CommandLine {
    const char* program;                // the first word of every message
    const char* about;                  // what the program does, after the usage line
    std::vector<const char*> operands;  // exactly these, in order: "MAP", "OUT.png"
    std::vector<Option> options;        // applied in the order they are given
    const char* notes = nullptr;        // printed after the options
};

// Applies the options of argv in order and returns the operands. Answers
// --help (-h) and --version and exits 0; an unknown option, a missing or
// refused value, or a wrong number of operands exits 2 (with no arguments at
// all the usage text goes to stderr).
std::vector<std::string> parse(const CommandLine& commandLine, int argc, char** argv);

// For what the options say together: "PROGRAM: message (try --help)" on
// stderr and exit status 2. The program's name is the parsed one.
[[noreturn]] void refuse(const std::string& message);

// The usage text that --help prints.
std::string helpText(const CommandLine& commandLine);

// A whole decimal integer from lowest to highest; false for anything else
// (nothing left over, no spaces, no overflow).
bool readInteger(const char* text, int lowest, int highest, int& value);
bool readInteger(const char* text, long long lowest, long long highest, long long& value);

// Integers from lowest to highest with one separator between them, such as
// "0,0,4,3" or "640x480"; every item must be there ("1,,2" is refused).
bool readIntegers(const char* text, char separator, int lowest, int highest, std::vector<int>& values);

// A whole finite decimal number from lowest to highest.
bool readNumber(const char* text, double lowest, double highest, double& value);

} // namespace tmapoptions

#endif
