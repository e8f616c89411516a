// Start-up time of the whole program: from fork to its window being mapped on the X server,
// then the window is closed and the process reaped. Prints min / median / max over N runs.
// Usage: StartupBench TARNEK [RUNS]   (DISPLAY must name an X server; see bench/startup.sh)
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void closeWindow(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", 0);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", 0));
    XSendEvent(display, window, 0, NoEventMask, &event);
    XFlush(display);
}

// Waits for the next top-level window to be mapped; 0 after `timeoutMs`.
Window waitForMap(Display* display, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) return event.xmap.window;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        poll(&fd, 1, static_cast<int>(std::max<long long>(1, left.count())));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: StartupBench TARNEK [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 20;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "StartupBench: cannot open display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, 1);

    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            execl(argv[1], argv[1], static_cast<char*>(nullptr));
            _exit(127);
        }
        const Window window = waitForMap(display, 10000);
        const auto shown = Clock::now();
        if (window == 0) {
            std::fprintf(stderr, "StartupBench: no window within 10 s\n");
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return 1;
        }
        millis.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
        closeWindow(display, window);
        int status = 0;
        waitpid(child, &status, 0);
        XSync(display, 1);
    }
    std::sort(millis.begin(), millis.end());
    std::printf("start-up to window shown over %d runs: min %.1f ms, median %.1f ms, max %.1f ms\n", runs,
                millis.front(), millis[millis.size() / 2], millis.back());
    XCloseDisplay(display);
    return 0;
}
