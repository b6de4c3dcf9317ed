#include "options.h"

#include <getopt.h> // getopt_long, the parser under the table

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>  // GetCommandLineW, WideCharToMultiByte
#include <shellapi.h> // CommandLineToArgvW
#endif

#include "tilvogl/tilvogl.h" // TMAP_VERSION_*: the version every program answers

namespace tmapoptions {

namespace {

// getopt_long's codes for the table's options follow those of its own
// options and its answers ('?', ':').
const int helpCode = 'h';
const int versionCode = 256;
const int firstTableCode = 257;

std::string programName = "program";

#if defined(_WIN32)
// Windows hands main its arguments in the ANSI code page, which cannot name
// every file; the tools take paths in UTF-8, as the library does, so the
// arguments are read again from the wide command line. Kept for the process,
// as argv is.
std::vector<std::string> utf8Arguments;
std::vector<char*> utf8Argv;

void readUtf8Arguments(int& argc, char**& argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return;
    utf8Arguments.assign(size_t(count), std::string());
    for (int i = 0; i < count; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string& text = utf8Arguments[size_t(i)];
        text.assign(size_t(bytes > 0 ? bytes : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], bytes, nullptr, nullptr);
        text.resize(text.size() - 1);
    }
    LocalFree(wide);
    utf8Argv.clear();
    for (std::string& text : utf8Arguments)
        utf8Argv.push_back(&text[0]);
    utf8Argv.push_back(nullptr);
    argc = count;
    argv = utf8Argv.data();
}
#endif

std::string withValue(const Option& option)
{
    std::string text = std::string("--") + option.name;
    if (option.valueName != nullptr)
        text += std::string(" ") + option.valueName;
    return text;
}

// "MAP", "MAP and OUT.png", "A, B and C".
std::string operandList(const std::vector<const char*>& operands)
{
    std::string text;
    for (size_t i = 0; i < operands.size(); ++i) {
        if (i > 0)
            text += i + 1 == operands.size() ? " and " : ", ";
        text += operands[i];
    }
    return text;
}

// The long name behind one of getopt_long's codes.
std::string longName(const CommandLine& commandLine, int code)
{
    if (code == helpCode)
        return "help";
    if (code == versionCode)
        return "version";
    return commandLine.options[size_t(code - firstTableCode)].name;
}

[[noreturn]] void refuseValue(const Option& option, const char* value)
{
    std::fprintf(stderr, "%s: --%s wants %s, not %s\n", programName.c_str(), option.name, option.wants.c_str(), value);
    std::exit(2);
}

} // namespace

std::string versionLine(const std::string& program)
{
    return program + " " + std::to_string(TMAP_VERSION_MAJOR) + "." + std::to_string(TMAP_VERSION_MINOR) + "."
         + std::to_string(TMAP_VERSION_PATCH) + "\n";
}

std::string helpText(const CommandLine& commandLine)
{
    std::vector<Option> listed = commandLine.options;
    listed.push_back({"help", nullptr, "", "show this text and exit", nullptr});
    listed.push_back({"version", nullptr, "", "print the program's name and version and exit", nullptr});
    size_t column = 0;
    for (const Option& option : listed)
        column = std::max(column, withValue(option).size());
    column += 4; // two spaces before, at least two after

    std::string text = std::string("usage: ") + commandLine.program + " [options]";
    for (const char* operand : commandLine.operands)
        text += std::string(" ") + operand;
    text += std::string("\n") + commandLine.about;
    if (text.back() != '\n')
        text += '\n';
    text += "\noptions:\n";
    for (const Option& option : listed) {
        std::string line = "  " + withValue(option);
        std::string help = option.help;
        for (size_t start = 0; start <= help.size();) {
            size_t end = help.find('\n', start);
            if (end == std::string::npos)
                end = help.size();
            line.resize(column, ' ');
            text += line + help.substr(start, end - start) + "\n";
            line.clear();
            start = end + 1;
        }
    }
    if (commandLine.notes != nullptr)
        text += std::string("\n") + commandLine.notes;
    return text;
}

void refuse(const std::string& message)
{
    std::fprintf(stderr, "%s: %s (try --help)\n", programName.c_str(), message.c_str());
    std::exit(2);
}

std::vector<std::string> parse(const CommandLine& commandLine, int argc, char** argv)
{
    programName = commandLine.program;
#if defined(_WIN32)
    readUtf8Arguments(argc, argv);
#endif
    std::vector<option> longOptions;
    for (size_t i = 0; i < commandLine.options.size(); ++i) {
        const Option& entry = commandLine.options[i];
        longOptions.push_back({entry.name, entry.valueName != nullptr ? required_argument : no_argument, nullptr,
                               firstTableCode + int(i)});
    }
    longOptions.push_back({"help", no_argument, nullptr, helpCode});
    longOptions.push_back({"version", no_argument, nullptr, versionCode});
    longOptions.push_back({nullptr, 0, nullptr, 0});

    opterr = 0; // the messages are ours
    optind = 0; // a fresh start, also for a second parse in one process
    int code;
    // The leading ':' tells a missing value (':') from an unknown option ('?').
    while ((code = getopt_long(argc, argv, ":h", longOptions.data(), nullptr)) != -1) {
        if (code == helpCode) {
            std::fputs(helpText(commandLine).c_str(), stdout);
            std::exit(0);
        }
        if (code == versionCode) {
            std::fputs(versionLine(commandLine.program).c_str(), stdout);
            std::exit(0);
        }
        if (code == ':')
            refuse(std::string("--") + longName(commandLine, optopt) + " needs a value");
        if (code == '?') {
            // A long option given a value it does not take ("--blocks=1")
            // leaves its own code in optopt; an unknown short option its
            // letter (-h is known, so 'h' can only be "--help=..."); an
            // unknown or ambiguous long option leaves 0 and is named as
            // written.
            if (optopt == helpCode || optopt == versionCode || optopt >= firstTableCode)
                refuse(std::string("--") + longName(commandLine, optopt) + " takes no value");
            if (optopt != 0)
                refuse(std::string("unknown option -") + char(optopt));
            const std::string written = argv[optind - 1];
            refuse("unknown option " + written.substr(0, written.find('=')));
        }
        const Option& entry = commandLine.options[size_t(code - firstTableCode)];
        if (!entry.apply(optarg))
            refuseValue(entry, optarg);
    }

    std::vector<std::string> operands(argv + optind, argv + argc);
    if (operands.size() != commandLine.operands.size()) {
        if (argc <= 1) {
            std::fputs(helpText(commandLine).c_str(), stderr);
            std::exit(2);
        }
        refuse("give " + operandList(commandLine.operands));
    }
    return operands;
}

bool readInteger(const char* text, long long lowest, long long highest, long long& value)
{
    if (text == nullptr || *text == '\0' || std::isspace(static_cast<unsigned char>(*text)))
        return false;
    char* end = nullptr;
    errno = 0;
    const long long read = std::strtoll(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || read < lowest || read > highest)
        return false;
    value = read;
    return true;
}

bool readInteger(const char* text, int lowest, int highest, int& value)
{
    long long read = 0;
    if (!readInteger(text, (long long)lowest, (long long)highest, read))
        return false;
    value = int(read);
    return true;
}

bool readIntegers(const char* text, char separator, int lowest, int highest, std::vector<int>& values)
{
    values.clear();
    if (text == nullptr)
        return false;
    const std::string whole = text;
    for (size_t start = 0;;) {
        const size_t end = std::min(whole.find(separator, start), whole.size());
        int value = 0;
        if (!readInteger(whole.substr(start, end - start).c_str(), lowest, highest, value))
            return false;
        values.push_back(value);
        if (end == whole.size())
            return true;
        start = end + 1;
    }
}

bool readNumber(const char* text, double lowest, double highest, double& value)
{
    if (text == nullptr || *text == '\0' || std::isspace(static_cast<unsigned char>(*text)))
        return false;
    char* end = nullptr;
    const double read = std::strtod(text, &end);
    if (*end != '\0' || !std::isfinite(read) || read < lowest || read > highest)
        return false;
    value = read;
    return true;
}

} // namespace tmapoptions
