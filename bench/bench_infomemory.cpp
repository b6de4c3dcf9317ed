// fmapinfo's peak memory and time on a map of 2 000 000 animations (a
// 32 MB file): the text report is the baseline of the same run, beside
// --json and --json --pretty. Each report runs as a child process; its peak
// resident size comes from the kernel (wait4), its output is counted and
// dropped. Prints one line per report: "NAME PEAK_KIB SECONDS OUTPUT_BYTES".
#include <sys/resource.h> // rusage: the child's peak resident size
#include <sys/wait.h>     // wait4
#include <unistd.h>       // fork, pipe, dup2, execv

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchfile.h"
#include "benchmaps.h"

namespace {

const int animationCount = 2000000;

struct Run {
    long peakKib = 0;
    double seconds = 0;
    long long outputBytes = 0;
};

Run runFmapinfo(const std::vector<std::string>& arguments)
{
    int output[2];
    if (pipe(output) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        execv(argv[0], argv.data());
        std::perror(argv[0]);
        _exit(127);
    }
    close(output[1]);
    Run run;
    char buffer[1 << 16];
    ssize_t got;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0)
        run.outputBytes += got;
    close(output[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKib = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_infomemory: fmapinfo failed (status %d)\n", status);
        std::exit(1);
    }
    return run;
}

} // namespace

int main()
{
    const benchmaps::MapFile map = benchmaps::makeMapFile(benchmaps::manyAnimsMap(animationCount), "anims.fmp");
    const struct {
        const char* name;
        std::vector<std::string> arguments;
    } reports[] = {
        {"text", {FMAPINFO_PATH, map.path}},
        {"json", {FMAPINFO_PATH, "--json", map.path}},
        {"pretty", {FMAPINFO_PATH, "--json", "--pretty", map.path}},
    };
    std::printf("file %zu 0 0\n", map.image.size());
    for (const auto& report : reports) {
        const Run run = runFmapinfo(report.arguments);
        std::printf("%s %ld %.3f %lld\n", report.name, run.peakKib, run.seconds, run.outputBytes);
    }
    return 0;
}
