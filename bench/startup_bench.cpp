// Starts the two probes in turn, many times, and reports the median time from process start to
// the first paint of the main window and the median peak resident memory at that moment.
// Usage: startup_bench [runs]   (default 40 of each)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Sample {
    double milliseconds;
    long peakKiB;
};

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

bool runOnce(const std::string &program, Sample &sample)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    pid_t pid = 0;
    const long long start = monotonicNanoseconds();
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }
    char buffer[128] = {};
    std::size_t used = 0;
    for (ssize_t got;
         used + 1 < sizeof buffer && (got = read(pipeFds[0], buffer + used, sizeof buffer - 1 - used)) > 0;)
        used += static_cast<std::size_t>(got);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    long long shown = 0;
    long peak = 0;
    if (std::sscanf(buffer, "%lld %ld", &shown, &peak) != 2)
        return false;
    sample = {static_cast<double>(shown - start) / 1e6, peak};
    return true;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 40;
    const std::string dir = [&] {
        std::string self = argv[0];
        return self.substr(0, self.find_last_of('/') + 1);
    }();
    const std::string names[] = {"empty window", "one-label window", "orbisk"};
    const std::string programs[] = {dir + "startup_empty", dir + "startup_text", dir + "startup_orbisk"};
    constexpr int probes = 3;
    std::vector<double> times[probes];
    std::vector<long> peaks[probes];
    for (int run = 0; run < runs + 2; ++run) {
        for (int which = 0; which < probes; ++which) {
            Sample sample{};
            if (!runOnce(programs[which], sample)) {
                std::fprintf(stderr, "could not run %s\n", programs[which].c_str());
                return 1;
            }
            if (run >= 2) { // the first runs only warm the caches
                times[which].push_back(sample.milliseconds);
                peaks[which].push_back(sample.peakKiB);
            }
        }
    }
    const double orbiskTime = median(times[probes - 1]);
    const long orbiskPeak = median(peaks[probes - 1]);
    std::printf("%-18s %10s %14s %12s %14s\n", "start-up", "median ms", "peak RSS KiB", "orbisk/this",
                "orbisk extra KiB");
    for (int which = 0; which < probes; ++which) {
        const double time = median(times[which]);
        const long peak = median(peaks[which]);
        std::printf("%-18s %10.2f %14ld %12.3f %14ld\n", names[which].c_str(), time, peak, orbiskTime / time,
                    orbiskPeak - peak);
    }
    std::printf("%d runs each, alternating\n", runs);
    return 0;
}
