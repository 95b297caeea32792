// Start-up of the real program, measured from outside it: under an X server, starts Orbisk and
// the yardstick in turn, many times, and takes the time from the process's start until the X
// server maps its main window, and its peak resident memory at that moment.
// Usage: startup_bench ORBISK YARDSTICK [runs]   (default 40 of each)
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr double mapDeadlineMilliseconds = 10000;

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

std::string exitOf(int status)
{
    if (WIFSIGNALED(status))
        return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "exited with status " + std::to_string(WEXITSTATUS(status));
}

// Events still queued from the last run, such as a second window of the program killed then,
// must not end the next run: after a round trip the server has sent them all.
void discardEvents(xcb_connection_t *x)
{
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    while (xcb_generic_event_t *event = xcb_poll_for_event(x))
        std::free(event);
}

// Starts the program with its output in `output` and waits for the X server to map a window
// of it. Returns why that failed, or nothing.
std::string runOnce(xcb_connection_t *x, const char *program, std::FILE *output, Sample &sample)
{
    discardEvents(x);
    const int outputFd = fileno(output);
    if (ftruncate(outputFd, 0) != 0 || lseek(outputFd, 0, SEEK_SET) != 0)
        return std::string("cannot reuse its output file: ") + std::strerror(errno);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    char *argv[] = {const_cast<char *>(program), nullptr};
    pid_t pid = 0;
    const double start = now();
    const int spawnError = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0)
        return std::string("cannot be started: ") + std::strerror(spawnError);

    std::string failure;
    int status = 0;
    bool exited = false;
    for (;;) {
        xcb_generic_event_t *event = xcb_poll_for_event(x);
        if (!event) {
            if (xcb_connection_has_error(x)) {
                failure = "lost the X server";
                break;
            }
            // Short waits, so that a program that ends without a window is reported at once.
            pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
            if (poll(&fd, 1, 100) > 0)
                continue;
            exited = waitpid(pid, &status, WNOHANG) == pid;
            if (exited) {
                failure = exitOf(status) + " before a window of it was mapped";
                break;
            }
            if (now() - start > mapDeadlineMilliseconds) {
                failure = "mapped no window within 10 s";
                break;
            }
            continue;
        }
        const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                            !reinterpret_cast<xcb_map_notify_event_t *>(event)->override_redirect;
        std::free(event);
        if (mapped) {
            sample = {now() - start, peakKiB(pid)};
            break;
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return failure;
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

void copyTo(std::FILE *from, std::FILE *to)
{
    std::rewind(from);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;)
        std::fwrite(buffer, 1, n, to);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench ORBISK YARDSTICK [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 40;

    // One connection for every run: when its last client leaves, the X server resets, and a
    // connection made while it does is refused.
    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        const char *display = std::getenv("DISPLAY");
        std::fprintf(stderr, "startup_bench: cannot connect to the X server at DISPLAY=%s\n",
                     display ? display : "(not set)");
        return 1;
    }
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screen);
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (xcb_generic_error_t *error = xcb_request_check(
            x, xcb_change_window_attributes_checked(x, screen.data->root, XCB_CW_EVENT_MASK, &mask))) {
        std::fprintf(stderr, "startup_bench: cannot watch the root window for maps (X error %d)\n",
                     error->error_code);
        std::free(error);
        return 1;
    }

    // Each program's output of its last start. It is shown for the first start of each, and for
    // one that fails, where it may say why; the others repeat it.
    const char *programs[] = {argv[1], argv[2]};
    std::FILE *outputs[] = {std::tmpfile(), std::tmpfile()};
    for (std::FILE *output : outputs) {
        if (!output || fcntl(fileno(output), F_SETFD, FD_CLOEXEC) != 0) {
            std::fprintf(stderr, "startup_bench: cannot make a file for the programs' output: %s\n",
                         std::strerror(errno));
            return 1;
        }
    }
    std::vector<Sample> samples[2];
    for (int i = 0; i < runs; ++i) { // in turn, so that both see the same machine
        for (int p = 0; p < 2; ++p) {
            Sample sample;
            const std::string failure = runOnce(x, programs[p], outputs[p], sample);
            if (i == 0 || !failure.empty())
                copyTo(outputs[p], stderr);
            if (!failure.empty()) {
                std::fprintf(stderr, "startup_bench: %s %s (start %d of %d)\n", programs[p], failure.c_str(),
                             i + 1, runs);
                return 1;
            }
            samples[p].push_back(sample);
        }
    }
    xcb_disconnect(x);
    const Sample o = median(samples[0]), y = median(samples[1]);
    std::printf("start-up to the window mapped, median of %d: Orbisk %.1f ms, %.1f MiB; empty window with "
                "the same menu %.1f ms, %.1f MiB; ratio %.2f\n",
                runs, o.milliseconds, o.peakKiB / 1024.0, y.milliseconds, y.peakKiB / 1024.0,
                o.milliseconds / y.milliseconds);
    return 0;
}
