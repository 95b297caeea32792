// Start-up of the real program, measured from outside it: under an X server, starts Orbisk and
// the yardstick in turn, many times, and takes the time from the process's start until the X
// server maps its main window, and its peak resident memory at that moment.
// Usage: startup_bench ORBISK YARDSTICK [runs]   (default 40 of each)
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

struct Sample {
    double milliseconds = 0;
    long peakKiB = 0;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

long peakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

bool runOnce(const char *program, Sample &sample)
{
    xcb_connection_t *x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x))
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    char *argv[] = {const_cast<char *>(program), nullptr};
    pid_t pid = 0;
    const double start = now();
    bool mapped = posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0;
    while (mapped) {
        pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
        xcb_generic_event_t *event = xcb_poll_for_event(x);
        if (!event) {
            mapped = poll(&fd, 1, 10000) > 0;
            continue;
        }
        const bool done = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                          !reinterpret_cast<xcb_map_notify_event_t *>(event)->override_redirect;
        std::free(event);
        if (done) {
            sample = {now() - start, peakKiB(pid)};
            break;
        }
    }
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    xcb_disconnect(x);
    return mapped;
}

Sample median(std::vector<Sample> samples)
{
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end(),
                     [](const Sample &a, const Sample &b) { return a.milliseconds < b.milliseconds; });
    Sample result = *middle;
    std::nth_element(samples.begin(), middle, samples.end(),
                     [](const Sample &a, const Sample &b) { return a.peakKiB < b.peakKiB; });
    result.peakKiB = middle->peakKiB;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench ORBISK YARDSTICK [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 40;
    std::vector<Sample> orbisk, yardstick;
    for (int i = 0; i < runs; ++i) { // in turn, so that both see the same machine
        Sample a, b;
        if (!runOnce(argv[1], a) || !runOnce(argv[2], b)) {
            std::fprintf(stderr, "startup_bench: a window was never mapped\n");
            return 1;
        }
        orbisk.push_back(a);
        yardstick.push_back(b);
    }
    const Sample o = median(orbisk), y = median(yardstick);
    std::printf("start-up to the window mapped, median of %d: Orbisk %.1f ms, %.1f MiB; empty window with "
                "the same menu %.1f ms, %.1f MiB; ratio %.2f\n",
                runs, o.milliseconds, o.peakKiB / 1024.0, y.milliseconds, y.peakKiB / 1024.0,
                o.milliseconds / y.milliseconds);
    return 0;
}
