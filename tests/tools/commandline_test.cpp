// The command line every tool shares: --help, --version, and one line with
// exit status 2 for whatever is wrong on it; and the number reading behind
// the options.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "options.h"
#include "toolrun.h"

namespace {

struct ToolCase {
    const char* name;
    const char* path;
    const char* valueOption; // an option that needs a value, or nullptr
    const char* badValue;    // arguments with a refused value, or nullptr
    const char* refusal;     // the line that refuses it
};

const ToolCase toolCases[] = {
    {"fmapinfo", FMAPINFO_PATH, nullptr, "--pretty x.fmp",
     "fmapinfo: --pretty indents the JSON of --json (try --help)\n"},
    {"fmaprender", FMAPRENDER_PATH, "--layer", "--layer 9 a.fmp b.png",
     "fmaprender: --layer wants 0 to 7, not 9\n"},
#ifdef FMAPCONVERT_PATH
    {"fmapconvert", FMAPCONVERT_PATH, "--depth", "--depth 12 a.tmj b.fmp",
     "fmapconvert: --depth wants 8, 15, 16, 24 or 32, not 12\n"},
#endif
#ifdef FMAPVIEW_PATH
    {"fmapview", FMAPVIEW_PATH, "--layer", "--layer=8 a.fmp", "fmapview: --layer wants 0 to 7, not 8\n"},
#endif
    {"mapgen", MAPGEN_PATH, nullptr, nullptr, nullptr},
};

TEST(ToolCommandLine, HelpVersionAndUsageErrors)
{
    for (const ToolCase& tool : toolCases) {
        SCOPED_TRACE(tool.name);
        const std::string program = shellQuoted(tool.path) + " ";
        const std::string name = tool.name;

        ToolResult version = runTool(program + "--version");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, name + " " TILVOGL_VERSION "\n");

        ToolResult help = runTool(program + "--help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: " + name + " [options] ", 0), 0u) << help.out;
        EXPECT_NE(help.out.find("\n  --version "), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");

        // Without any argument the usage goes to stderr.
        ToolResult bare = runTool(program);
        EXPECT_EQ(bare.status, 2);
        EXPECT_EQ(bare.out, "");
        EXPECT_EQ(bare.err.rfind("usage: " + name, 0), 0u) << bare.err;

        std::vector<std::pair<std::string, std::string>> refused = {
            {"--no-such-thing a", name + ": unknown option --no-such-thing (try --help)\n"},
        };
        // The rarer mistakes reach the same parser in every tool: once is enough.
        if (&tool == &toolCases[0]) {
            refused.push_back({"-Z a", name + ": unknown option -Z (try --help)\n"});
            refused.push_back({"--help=1", name + ": --help takes no value (try --help)\n"});
        }
        if (tool.valueOption != nullptr)
            refused.push_back({std::string("a ") + tool.valueOption,
                               name + ": " + tool.valueOption + " needs a value (try --help)\n"});
        if (tool.badValue != nullptr)
            refused.push_back({tool.badValue, tool.refusal});
        for (const auto& [arguments, line] : refused) {
            ToolResult result = runTool(program + arguments);
            EXPECT_EQ(result.status, 2) << arguments;
            EXPECT_EQ(result.err, line) << arguments;
            EXPECT_EQ(result.out, "") << arguments;
        }

        // One operand too many: one line naming what to give.
        ToolResult extra = runTool(program + "a b c");
        EXPECT_EQ(extra.status, 2);
        EXPECT_EQ(extra.err.rfind(name + ": give ", 0), 0u) << extra.err;
        EXPECT_EQ(extra.err.find('\n'), extra.err.size() - 1) << extra.err;
    }
}

TEST(ToolCommandLine, NumbersAreReadWholeAndWithinTheirLimits)
{
    struct IntegerCase {
        const char* text;
        bool read;
        int value;
    };
    for (const IntegerCase& c : std::vector<IntegerCase>{{"7", true, 7},     {"0", true, 0},   {"-3", true, -3},
                                                          {"8", false, 0},    {"-4", false, 0}, {"", false, 0},
                                                          {" 5", false, 0},   {"5 ", false, 0}, {"5x", false, 0},
                                                          {"0x5", false, 0},  {"1e2", false, 0},
                                                          {"99999999999999999999", false, 0}}) {
        int value = -100;
        EXPECT_EQ(tmapoptions::readInteger(c.text, -3, 7, value), c.read) << '"' << c.text << '"';
        EXPECT_EQ(value, c.read ? c.value : -100) << "a refused text leaves the value as it was: " << c.text;
    }
    long long count = 0;
    EXPECT_TRUE(tmapoptions::readInteger("9223372036854775807", 0LL, LLONG_MAX, count));
    EXPECT_EQ(count, LLONG_MAX);
    EXPECT_FALSE(tmapoptions::readInteger("9223372036854775808", 0LL, LLONG_MAX, count));

    struct ListCase {
        const char* text;
        char separator;
        std::vector<int> values; // empty: refused
    };
    for (const ListCase& c : std::vector<ListCase>{{"0,0,4,3", ',', {0, 0, 4, 3}},
                                                   {"640x480", 'x', {640, 480}},
                                                   {"5", ',', {5}},
                                                   {"1,,2", ',', {}},
                                                   {"1,2,", ',', {}},
                                                   {",1", ',', {}},
                                                   {"1;2", ',', {}},
                                                   {"1,1001", ',', {}}}) {
        std::vector<int> values;
        EXPECT_EQ(tmapoptions::readIntegers(c.text, c.separator, 0, 1000, values), !c.values.empty()) << c.text;
        if (!c.values.empty()) {
            EXPECT_EQ(values, c.values) << c.text;
        }
    }

    double angle = 0;
    EXPECT_TRUE(tmapoptions::readNumber("-12.5", -90, 90, angle));
    EXPECT_EQ(angle, -12.5);
    for (const char* refused : {"nan", "inf", "91", "", "1.5deg"})
        EXPECT_FALSE(tmapoptions::readNumber(refused, -90, 90, angle)) << refused;
}

} // namespace
