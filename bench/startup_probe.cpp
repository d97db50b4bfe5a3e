// startup_probe RUNS PROGRAM...: start-up time and resident memory of X programs.
//
// Each run starts every program once, in turn, the order alternating from run
// to run; an uncounted run goes first. A program is timed from fork/exec to
// the first paint of its window, seen from outside: its top-level window's
// MapNotify on the root window, then a row of the window's pixels polled until
// they are no longer the black of the unpainted screen (Xvfb -br, no window
// manager). Its VmRSS is read 300 ms later; then it is killed. Prints one line
// per program, medians over the runs:
//   PROGRAM startup_ms MEDIAN rss_kib MEDIAN
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

double now()  // monotonic, milliseconds
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long residentKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// A window that went away between two requests is not an error here.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

// The first top-level window mapped after the start, or none within the deadline.
std::optional<Window> waitForMap(Display* display, pid_t pid, double deadline)
{
    while (now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect)
                return event.xmap.window;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return std::nullopt;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
    return std::nullopt;
}

// The X server closes a killed client's windows a moment after its death; the
// next program's window must not map over this one's pixels.
void waitForDestroy(Display* display, Window window, double deadline)
{
    while (now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == DestroyNotify && event.xdestroywindow.window == window)
                return;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
}

// Whether the window's middle row shows anything but black. Qt puts the
// whole first frame at once, so one row tells when it arrived.
bool painted(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage* row = XGetImage(display, window, 0, attributes.height / 2, attributes.width, 1, AllPlanes, ZPixmap);
    if (!row)
        return false;
    bool any = false;
    for (int x = 0; x < attributes.width && !any; ++x)
        any = (XGetPixel(row, x, 0) & 0xFFFFFF) != 0;
    XDestroyImage(row);
    return any;
}

struct Sample {
    double startupMs;
    long rssKib;
};

std::optional<Sample> measure(Display* display, const std::string& program)
{
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::optional<Sample> sample;
    const double deadline = start + 10'000;
    const std::optional<Window> window = waitForMap(display, pid, deadline);
    if (window) {
        while (now() < deadline && !painted(display, *window))
            std::this_thread::sleep_for(200us);
        if (now() < deadline) {
            const double startup = now() - start;
            std::this_thread::sleep_for(300ms);
            sample = Sample{startup, residentKib(pid)};
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (window)
        waitForDestroy(display, *window, now() + 5'000);
    if (!sample)
        std::fprintf(stderr, "startup_probe: %s showed no painted window within 10 s\n", program.c_str());
    return sample;
}

template <typename T>
double median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_probe RUNS PROGRAM...\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::vector<std::string> programs(argv + 2, argv + argc);

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_probe: cannot open display %s\n", XDisplayName(nullptr));
        return 2;
    }
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    XSetErrorHandler(ignoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    std::map<std::string, std::vector<double>> startup;
    std::map<std::string, std::vector<long>> rss;
    // Run 0 warms the file cache and is not counted.
    for (int run = 0; run <= runs; ++run)
        for (std::size_t i = 0; i < programs.size(); ++i) {
            const std::string& program = programs[run % 2 ? programs.size() - 1 - i : i];
            const auto sample = measure(display, program);
            if (!sample)
                return 1;
            if (run == 0)
                continue;
            startup[program].push_back(sample->startupMs);
            rss[program].push_back(sample->rssKib);
        }

    for (const std::string& program : programs)
        std::printf("%s startup_ms %.1f rss_kib %.0f\n", program.c_str(), median(startup[program]),
                    median(rss[program]));
    XCloseDisplay(display);
}
