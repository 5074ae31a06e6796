// Times the editor opening a project as the X server sees it. Built and run by run.py:
//
//   probe [--watch SECONDS] [--limit SECONDS] [--monitor X,Y,W,H] [--switch EXPORT_X,Y EDIT_X,Y] [--quit]
//         [--idle] -- EDITOR PROJECT
//
// The clock starts just before the editor's process is forked. Then, on the display in DISPLAY:
//   map_ms    the editor's top-level window is mapped (its MapNotify on the root window);
//   monitor_ms  with --monitor X,Y,W,H: the program monitor (that rectangle, window coordinates)
//             shows a picture: at least a fifth of its pixels are strongly coloured (largest
//             minus smallest component at least 96; the clips are test patterns, the empty
//             monitor is black); -1 when it shows none within --limit seconds;
//   paint_ms  the window's pixels show the project's clips: a row holding at least five
//             separate runs, 60 to 400 pixels long, of the clip picker's chip colour (38, 38, 38),
//             and at least 2,000 pixels of the timeline's video clip colour (78, 120, 204);
//   worst_wait_ms, worst_wait_at_ms
//             from the first picture on, for --watch seconds, the window is sent a _NET_WM_PING
//             every 50 ms after the last answer; the longest wait for an answer (the main
//             thread handles pings where it handles clicks), and when that ping was sent;
//   export_ms, edit_ms
//             with --switch: a click (XTest) on the "10-bit Export" mode at EXPORT_X,Y (window
//             coordinates), then one on "Edit" at EDIT_X,Y; for each, the time from the click
//             until the window answers pings promptly again (see busyAfterClick);
//   idle_ms, idle_cpu_ms
//             with --idle: after the first picture (and the --watch seconds), when the editor's
//             process went idle: the start of the first half second in which all its threads
//             together used less than 5 % of one processor (its user and system time, counted by
//             the kernel, sampled every 20 ms), and the processor time it had used until then;
//             -1 when it is not idle within --limit seconds;
//   hwm_mb, rss_mb  the editor's peak and current resident memory (VmHWM, VmRSS) at the end;
//   start_epoch_s  the wall-clock time (seconds since 1970) at which the clock started, so
//             that the figures can be placed on another tool's clock (a system-call trace).
//   quit_ms   with --quit: as soon as the clips are painted (nothing else is waited for), the
//             window is asked to close as its window manager asks (WM_DELETE_WINDOW); the time
//             from that request until the editor's process has ended (-1 when it has not within
//             --limit seconds). The other figures are then -1.
// Prints one line of JSON, then ends the editor. Exit code 2 when the window or its clips do
// not appear within --limit seconds (60 by default), or a ping stays unanswered that long.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// libXtst ships without its development header here; these are its documented prototypes.
extern "C" {
int XTestFakeMotionEvent(Display*, int screen, int x, int y, unsigned long delay);
int XTestFakeButtonEvent(Display*, unsigned int button, Bool isPress, unsigned long delay);
}

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point started;
double limitMs = 60000;

double msSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double nowMs() { return msSince(started); }

struct Probe {
    Display* display = nullptr;
    Window root = 0;
    Window window = 0;
    Atom protocols = 0;
    Atom ping = 0;
    long pingSerial = 0;
    pid_t editor = -1;
};

// Waits up to `timeoutMs` for an X event; false on timeout.
bool nextEvent(Probe& p, XEvent& event, double timeoutMs)
{
    const Clock::time_point until = Clock::now() + std::chrono::microseconds(static_cast<long>(timeoutMs * 1000));
    while (!XPending(p.display)) {
        const double left = std::chrono::duration<double, std::milli>(until - Clock::now()).count();
        if (left <= 0)
            return false;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(p.display), &fds);
        timeval tv{static_cast<time_t>(left / 1000), static_cast<suseconds_t>(static_cast<long>(left * 1000) % 1000000)};
        select(ConnectionNumber(p.display) + 1, &fds, nullptr, nullptr, &tv);
    }
    XNextEvent(p.display, &event);
    return true;
}

bool showsClips(Probe& p)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(p.display, p.window, &attributes) || attributes.map_state != IsViewable)
        return false;
    XImage* image = XGetImage(p.display, p.window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    long blue = 0;
    bool chipRow = false;
    for (int y = 0; y < image->height; ++y) {
        int runs = 0;
        int run = 0;
        for (int x = 0; x < image->width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
            if (r == 78 && g == 120 && b == 204)
                ++blue;
            if (r == 38 && g == 38 && b == 38) {
                ++run;
            } else {
                if (run >= 60 && run <= 400)
                    ++runs;
                run = 0;
            }
        }
        if (runs >= 5)
            chipRow = true;
    }
    XDestroyImage(image);
    return chipRow && blue >= 2000;
}

// Whether the rectangle (window coordinates) shows a picture, as monitor_ms says.
bool showsPicture(Probe& p, int x, int y, int w, int h)
{
    XImage* image = XGetImage(p.display, p.window, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              AllPlanes, ZPixmap);
    if (!image)
        return false;
    long coloured = 0;
    for (int row = 0; row < image->height; ++row) {
        for (int column = 0; column < image->width; ++column) {
            const unsigned long pixel = XGetPixel(image, column, row);
            const int r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
            if (std::max({r, g, b}) - std::min({r, g, b}) >= 96)
                ++coloured;
        }
    }
    const long total = static_cast<long>(image->width) * image->height;
    XDestroyImage(image);
    return total > 0 && coloured * 5 >= total;
}

// Sends a ping and waits for its answer; the wait in ms, or none after `timeoutMs`.
std::optional<double> pingWait(Probe& p, double timeoutMs)
{
    const long serial = ++p.pingSerial;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = p.window;
    event.xclient.message_type = p.protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(p.ping);
    event.xclient.data.l[1] = serial;
    event.xclient.data.l[2] = static_cast<long>(p.window);
    const Clock::time_point sent = Clock::now();
    XSendEvent(p.display, p.window, False, NoEventMask, &event);
    XFlush(p.display);
    for (;;) {
        const double left = timeoutMs - msSince(sent);
        XEvent reply;
        if (left <= 0 || !nextEvent(p, reply, left))
            return std::nullopt;
        if (reply.type == ClientMessage && reply.xclient.window == p.root
            && static_cast<Atom>(reply.xclient.data.l[0]) == p.ping && reply.xclient.data.l[1] == serial)
            return msSince(sent);
    }
}

void click(Probe& p, int x, int y)
{
    Window child;
    int screenX = 0, screenY = 0;
    XTranslateCoordinates(p.display, p.window, p.root, x, y, &screenX, &screenY, &child);
    XTestFakeMotionEvent(p.display, -1, screenX, screenY, 0);
    XTestFakeButtonEvent(p.display, 1, True, 0);
    XTestFakeButtonEvent(p.display, 1, False, 0);
    XFlush(p.display);
}

// Clicks at (x, y) in the window, then pings for as long as answers keep taking more than
// 100 ms and for 1.5 s after the last such answer. The time from the click to the last slow
// answer (or to the first answer when none was slow); -1 when a ping goes unanswered for --limit seconds.
double busyAfterClick(Probe& p, int x, int y)
{
    const Clock::time_point clicked = Clock::now();
    click(p, x, y);
    double busyUntil = -1;
    double lastSlow = 0;
    for (;;) {
        const std::optional<double> wait = pingWait(p, limitMs);
        if (!wait)
            return -1;
        const double answered = msSince(clicked);
        if (busyUntil < 0 || *wait > 100) {
            busyUntil = answered;
            lastSlow = answered;
        }
        if (answered - lastSlow > 1500)
            return busyUntil;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

long memoryKb(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field) + 1);
    return -1;
}

// The processor time the process has used so far, all its threads together, in milliseconds;
// -1 when it cannot be read.
double cpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The fields after the command name, which is in parentheses and may hold blanks.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    unsigned long long utime = 0, stime = 0;
    // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
    if (std::sscanf(text.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2)
        return -1;
    return 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// When the process went idle (idle_ms above) and the processor time used until then; both -1
// when it does not within the limit.
std::pair<double, double> idleAt(pid_t pid)
{
    constexpr double window = 500, sample = 20, busiest = 0.05;
    std::vector<std::pair<double, double>> samples; // (ms since the start, processor ms)
    while (nowMs() < limitMs) {
        const double cpu = cpuMs(pid);
        if (cpu < 0)
            return {-1, -1};
        samples.emplace_back(nowMs(), cpu);
        // The oldest sample still within a window of the newest.
        auto first = std::lower_bound(samples.begin(), samples.end(), samples.back().first - window,
                                      [](const std::pair<double, double>& s, double at) { return s.first < at; });
        if (first != samples.begin() && samples.back().first - samples.front().first >= window) {
            --first; // the last sample at least a window old
            if (samples.back().second - first->second < busiest * (samples.back().first - first->first))
                return *first;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(sample)));
    }
    return {-1, -1};
}

[[noreturn]] void finish(Probe& p, const std::string& json, int code)
{
    std::printf("%s\n", json.c_str());
    std::fflush(stdout);
    if (p.editor > 0) {
        kill(-p.editor, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(p.editor, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(p.editor, &status, WNOHANG) == 0) {
            kill(-p.editor, SIGKILL);
            waitpid(p.editor, &status, 0);
        }
    }
    std::exit(code);
}

bool parsePoint(const char* text, int& x, int& y) { return std::sscanf(text, "%d,%d", &x, &y) == 2; }

// Asks the window to close as a window manager does, then waits for the editor's process to end;
// the milliseconds from the request to the end, or -1 when it has not ended within the limit.
double quitMs(Probe& p)
{
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = p.window;
    close.xclient.message_type = p.protocols;
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(p.display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    const double askedAt = nowMs();
    XSendEvent(p.display, p.window, False, NoEventMask, &close);
    XFlush(p.display);
    int status = 0;
    while (waitpid(p.editor, &status, WNOHANG) == 0) {
        if (nowMs() > askedAt + limitMs)
            return -1;
        while (XPending(p.display)) {
            XEvent event;
            XNextEvent(p.display, &event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double ended = nowMs() - askedAt;
    p.editor = -1;
    return ended;
}

} // namespace

int main(int argc, char** argv)
{
    double watchSeconds = 0;
    bool quit = false;
    bool idle = false;
    std::optional<std::pair<int, int>> exportAt, editAt;
    std::optional<std::array<int, 4>> monitor;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (!std::strcmp(argv[i], "--watch") && i + 1 < argc) {
            watchSeconds = std::atof(argv[++i]);
        } else if (!std::strcmp(argv[i], "--limit") && i + 1 < argc) {
            limitMs = std::atof(argv[++i]) * 1000;
        } else if (!std::strcmp(argv[i], "--monitor") && i + 1 < argc) {
            std::array<int, 4> r{};
            if (std::sscanf(argv[++i], "%d,%d,%d,%d", &r[0], &r[1], &r[2], &r[3]) != 4 || r[2] <= 0 || r[3] <= 0)
                return 64;
            monitor = r;
        } else if (!std::strcmp(argv[i], "--switch") && i + 2 < argc) {
            int x1, y1, x2, y2;
            if (!parsePoint(argv[i + 1], x1, y1) || !parsePoint(argv[i + 2], x2, y2))
                return 64;
            exportAt = {x1, y1};
            editAt = {x2, y2};
            i += 2;
        } else if (!std::strcmp(argv[i], "--quit")) {
            quit = true;
        } else if (!std::strcmp(argv[i], "--idle")) {
            idle = true;
        } else {
            return 64;
        }
    }
    if (i + 1 >= argc)
        return 64;
    char** command = argv + i + 1;

    Probe p;
    p.display = XOpenDisplay(nullptr);
    if (!p.display)
        return 65;
    p.root = DefaultRootWindow(p.display);
    p.protocols = XInternAtom(p.display, "WM_PROTOCOLS", False);
    p.ping = XInternAtom(p.display, "_NET_WM_PING", False);
    // Map notices come with the substructure mask; the editor's toolkit answers pings with the
    // structure mask.
    XSelectInput(p.display, p.root, SubstructureNotifyMask | StructureNotifyMask);
    XSync(p.display, False);

    const double startEpoch =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    started = Clock::now();
    p.editor = fork();
    if (p.editor == 0) {
        // A group of its own, so that the end reaches a wrapper (a tracer) and the editor alike.
        setpgid(0, 0);
        execvp(command[0], command);
        _exit(127);
    }

    XEvent event;
    double mapMs = -1;
    while (mapMs < 0) {
        if (!nextEvent(p, event, limitMs - nowMs()))
            finish(p, "{\"error\": \"no window\"}", 2);
        if (event.type == MapNotify && event.xmap.event == p.root && !event.xmap.override_redirect) {
            p.window = event.xmap.window;
            mapMs = nowMs();
        }
    }
    double paintMs = -1, monitorMs = -1;
    while (paintMs < 0 || (monitor && monitorMs < 0)) {
        XWindowAttributes attributes;
        const bool viewable = XGetWindowAttributes(p.display, p.window, &attributes) && attributes.map_state == IsViewable;
        if (paintMs < 0 && showsClips(p))
            paintMs = nowMs();
        if (quit && paintMs >= 0) {
            const double ms = quitMs(p);
            if (ms < 0)
                finish(p, "{\"error\": \"no end after the close\"}", 2);
            finish(p, "{\"map_ms\": " + std::to_string(mapMs) + ", \"paint_ms\": " + std::to_string(paintMs) +
                          ", \"quit_ms\": " + std::to_string(ms) + "}", 0);
        }
        if (viewable && monitor && monitorMs < 0 && showsPicture(p, (*monitor)[0], (*monitor)[1], (*monitor)[2], (*monitor)[3]))
            monitorMs = nowMs();
        if (nowMs() > limitMs) {
            if (paintMs < 0)
                finish(p, "{\"error\": \"no clips\", \"map_ms\": " + std::to_string(mapMs) + "}", 2);
            break; // no picture on the monitor: monitor_ms stays -1
        }
        while (XPending(p.display))
            XNextEvent(p.display, &event);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    double worstWait = 0, worstAt = paintMs;
    const double watchEnd = paintMs + watchSeconds * 1000;
    while (nowMs() < watchEnd) {
        const double sentAt = nowMs();
        const std::optional<double> wait = pingWait(p, limitMs);
        if (!wait)
            finish(p, "{\"error\": \"no answer\"}", 2);
        if (*wait > worstWait) {
            worstWait = *wait;
            worstAt = sentAt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    const std::pair<double, double> idleFigures = idle ? idleAt(p.editor) : std::pair<double, double>{-1, -1};

    double exportMs = -1, editMs = -1;
    if (exportAt && editAt) {
        exportMs = busyAfterClick(p, exportAt->first, exportAt->second);
        editMs = busyAfterClick(p, editAt->first, editAt->second);
        if (exportMs < 0 || editMs < 0)
            finish(p, "{\"error\": \"no answer after a switch\"}", 2);
    }

    char json[720];
    std::snprintf(json, sizeof json,
                  "{\"map_ms\": %.1f, \"paint_ms\": %.1f, \"monitor_ms\": %.1f, \"worst_wait_ms\": %.1f, "
                  "\"worst_wait_at_ms\": %.1f, \"export_ms\": %.1f, \"edit_ms\": %.1f, \"idle_ms\": %.1f, "
                  "\"idle_cpu_ms\": %.1f, \"hwm_mb\": %.1f, \"rss_mb\": %.1f, \"start_epoch_s\": %.6f}",
                  mapMs, paintMs, monitorMs, worstWait, worstAt, exportMs, editMs, idleFigures.first, idleFigures.second,
                  memoryKb(p.editor, "VmHWM:") / 1024.0, memoryKb(p.editor, "VmRSS:") / 1024.0, startEpoch);
    finish(p, json, 0);
}
