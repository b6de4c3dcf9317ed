#include "toolrun.h"

#include <gtest/gtest.h>
#include <sys/wait.h> // WIFEXITED, WEXITSTATUS
#include <unistd.h>   // getpid

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string shellQuoted(const std::string& path)
{
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ToolResult runTool(const std::string& commandLine)
{
    static int serial = 0;
    std::string base = scratchFolder("run") + "/" + std::to_string(++serial);
    std::string outPath = base + ".out", errPath = base + ".err";
    int raw = std::system((commandLine + " >" + shellQuoted(outPath) + " 2>" + shellQuoted(errPath)).c_str());
    ToolResult result;
    if (raw != -1 && WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    result.out = readBytes(outPath);
    result.err = readBytes(errPath);
    return result;
}

std::string scratchFolder(const std::string& name)
{
    // One folder per process: ctest may run test cases in parallel. It goes
    // at exit unless a failure should be looked at (or TOOL_TESTS_KEEP is set).
    static const std::filesystem::path root = [] {
        std::filesystem::path path =
            std::filesystem::path(TOOL_TESTS_SCRATCH) / ("p" + std::to_string(getpid()));
        std::filesystem::remove_all(path);
        std::atexit([] {
            if (!::testing::UnitTest::GetInstance()->Failed() && std::getenv("TOOL_TESTS_KEEP") == nullptr)
                std::filesystem::remove_all(root);
        });
        return path;
    }();
    std::filesystem::path folder = root / name;
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::string writeFile(const std::string& folder, const std::string& name, const tmapwriter::Bytes& bytes)
{
    std::string path = folder + "/" + name;
    EXPECT_TRUE(tmapwriter::saveFile(path, bytes)) << path;
    return path;
}
