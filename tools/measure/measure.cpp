// SPDX-License-Identifier: GPL-3.0-or-later
// tonvero_measure: starts the trainer and a bare Qt 6 window the same way,
// several times each and interleaved, on the X display of $DISPLAY, and
// prints for both the median time from launch to the first shown window and
// the median peak memory (VmHWM), and their ratios.
//
//   xvfb-run -a tonvero_measure [--runs N] [--settle MS] [--exercise] [--verbose]
//                               [--soundfonts system|none|FILE[,FILE...]]...
//
// A window counts as shown when the X server maps a top-level window whose
// _NET_WM_PID is the started process; the time runs from just before fork().
// VmHWM is read from /proc/<pid>/status once the window has been shown for
// --settle milliseconds (default 1500): the trainer loads its soundfont on a
// worker while the window comes up, and the peak must include that.
// --exercise then presses Return in the window, which starts an exercise in
// the trainer (its start button has the focus) and does nothing in the bare
// window, and reads VmHWM again after the same wait: the chosen instrument
// is loaded by then.
//
// --soundfonts FILE,... shows both programs a /usr/share/sounds/sf2 holding
// only these files, as if only their packages were installed, through a
// private mount namespace (root, or unprivileged user namespaces); nothing
// outside the started processes changes. "none" hides them all; "system"
// (the default) leaves the system as it is. Each --soundfonts prints a table of its own.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSoundFontDir = "/usr/share/sounds/sf2";
constexpr int kWindowTimeoutMs = 60000;

struct Scenario {
    std::string label;
    bool hide = false;              // show only `keep` in the soundfont directory
    std::vector<std::string> keep;  // file names kept visible
};

struct Run {
    bool ok = false;
    double startupMs = 0;
    double hwmMiB = 0;
    double exerciseHwmMiB = 0;
    std::string error;
};

struct Program {
    std::string name;
    std::string path;
    std::vector<Run> runs;
};

int ignoreXError(Display*, XErrorEvent*)
{
    return 0; // a window may be gone before its property is read
}

bool writeFile(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

// In the child, before exec: a mount namespace of its own in which the
// soundfont directory holds only `keep`.
bool hideSoundFonts(const std::vector<std::string>& keep, const std::string& stash)
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        writeFile("/proc/self/setgroups", "deny");
        if (!writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return false;
    }
    // Private first, so that nothing mounted here reaches the system's view.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount(kSoundFontDir, stash.c_str(), nullptr, MS_BIND, nullptr) != 0
        || ::mount("tmpfs", kSoundFontDir, "tmpfs", 0, "mode=0755") != 0)
        return false;
    for (const std::string& name : keep) {
        const std::string target = std::string(kSoundFontDir) + "/" + name;
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
        if (::mount((stash + "/" + name).c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return false;
    }
    return true;
}

long windowPid(Display* display, Window window, Atom netWmPid)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success
        && data && type == XA_CARDINAL && format == 32 && count == 1)
        pid = long(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

double statusMiB(pid_t pid, const char* key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::strlen(key))) / 1024.0;
    return -1;
}

// Return pressed and released in a window, as xdotool key --window does.
void pressReturn(Display* display, Window window)
{
    XKeyEvent key{};
    key.display = display;
    key.window = window;
    key.root = DefaultRootWindow(display);
    key.subwindow = None;
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(display, XK_Return);
    for (int type : {KeyPress, KeyRelease}) {
        key.type = type;
        XEvent event{};
        event.xkey = key;
        XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
    }
    XFlush(display);
}

void stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    ::remove(path);
    return 0;
}

// The environment both programs get: the caller's, on the X display, with a
// fresh settings and runtime directory.
std::vector<std::string> environmentFor(const std::string& home)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0
            || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    env.push_back("XDG_RUNTIME_DIR=" + home + "/runtime");
    return env;
}

Run launch(Display* display, Atom netWmPid, const std::string& path, const Scenario& scenario, int settleMs,
           bool exercise)
{
    Run run;
    char pattern[] = "/tmp/tonvero-measure.XXXXXX";
    if (!::mkdtemp(pattern)) {
        run.error = std::string("cannot make a temporary directory: ") + std::strerror(errno);
        return run;
    }
    const std::string home = pattern;
    const std::string stash = home + "/soundfonts";
    ::mkdir((home + "/config").c_str(), 0700);
    ::mkdir((home + "/runtime").c_str(), 0700);
    ::mkdir(stash.c_str(), 0700);
    const std::vector<std::string> env = environmentFor(home);
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};

    XSync(display, False);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
    }
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (scenario.hide && !hideSoundFonts(scenario.keep, stash)) {
            std::fprintf(stderr, "tonvero_measure: cannot show a private soundfont directory (%s); "
                                 "run as root or allow user namespaces\n", std::strerror(errno));
            ::_exit(126);
        }
        ::execve(path.c_str(), argv, envp.data());
        std::fprintf(stderr, "tonvero_measure: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
        ::_exit(127);
    }
    if (pid < 0) {
        run.error = std::string("fork failed: ") + std::strerror(errno);
        return run;
    }

    const int fd = ConnectionNumber(display);
    bool shown = false;
    Window window = None;
    while (!shown) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (waited > kWindowTimeoutMs) {
            run.error = "no window within " + std::to_string(kWindowTimeoutMs / 1000) + " s";
            break;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            run.error = "ended before showing a window (status " + std::to_string(status) + ")";
            break;
        }
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 20);
        while (!shown && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect
                && windowPid(display, event.xmap.window, netWmPid) == pid) {
                run.startupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                window = event.xmap.window;
                shown = true;
            }
        }
    }
    if (shown) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
        run.hwmMiB = statusMiB(pid, "VmHWM:");
        run.ok = run.hwmMiB > 0;
        if (run.ok && exercise) {
            pressReturn(display, window);
            std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
            run.exerciseHwmMiB = statusMiB(pid, "VmHWM:");
        }
        if (!run.ok)
            run.error = "cannot read /proc/" + std::to_string(pid) + "/status";
        stop(pid);
    } else if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        stop(pid);
    }
    ::nftw(home.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    return run;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> split(const std::string& list)
{
    std::vector<std::string> out;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            out.push_back(item);
    return out;
}

int usage()
{
    std::fprintf(stderr, "usage: xvfb-run -a tonvero_measure [--runs N] [--settle MS] [--exercise] [--verbose]\n"
                         "                      [--trainer PATH] [--bare PATH]\n"
                         "                      [--soundfonts system|none|FILE[,FILE...]]...\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    int runs = 7;
    int settleMs = 1500;
    bool verbose = false;
    bool exercise = false;
    std::string trainer = TONVERO_TRAINER;
    std::string bare = TONVERO_BARE_WINDOW;
    std::vector<Scenario> scenarios;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--settle" && hasValue)
            settleMs = std::max(0, std::atoi(argv[++i]));
        else if (arg == "--trainer" && hasValue)
            trainer = argv[++i];
        else if (arg == "--bare" && hasValue)
            bare = argv[++i];
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--exercise")
            exercise = true;
        else if (arg == "--soundfonts" && hasValue) {
            const std::string list = argv[++i];
            if (list == "system")
                scenarios.push_back({"as installed", false, {}});
            else if (list == "none")
                scenarios.push_back({"none", true, {}});
            else
                scenarios.push_back({"only " + list, true, split(list)});
        } else
            return usage();
    }
    if (scenarios.empty())
        scenarios.push_back({"as installed", false, {}});

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "tonvero_measure: no X display; run it under xvfb-run -a\n");
        return 1;
    }
    XSetErrorHandler(ignoreXError);
    ::fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);

    int failures = 0;
    for (const Scenario& scenario : scenarios) {
        std::vector<Program> programs{{"bare Qt 6 window", bare, {}}, {"Tonvero", trainer, {}}};
        for (int round = 0; round < runs; ++round) {
            // Interleaved, each program first in every other round.
            for (int k = 0; k < 2; ++k) {
                Program& program = programs[std::size_t((round + k) % 2)];
                Run run = launch(display, netWmPid, program.path, scenario, settleMs, exercise);
                if (verbose || !run.ok)
                    std::fprintf(stderr, "%-18s round %d: %s %.1f ms, VmHWM %.1f MiB\n", program.name.c_str(),
                                 round + 1, run.ok ? "" : run.error.c_str(), run.startupMs, run.hwmMiB);
                failures += run.ok ? 0 : 1;
                program.runs.push_back(run);
            }
        }
        double startup[2], hwm[2], inExercise[2];
        for (std::size_t p = 0; p < 2; ++p) {
            std::vector<double> s, m, e;
            for (const Run& run : programs[p].runs) {
                if (run.ok) {
                    s.push_back(run.startupMs);
                    m.push_back(run.hwmMiB);
                    e.push_back(run.exerciseHwmMiB);
                }
            }
            startup[p] = median(s);
            hwm[p] = median(m);
            inExercise[p] = median(e);
        }
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
        std::printf("\nsoundfonts %s; %d runs each, interleaved; VmHWM read %d ms after the window is shown\n",
                    scenario.label.c_str(), runs, settleMs);
        std::printf("%-20s %18s %14s%s\n", "", "start-up (median)", "VmHWM (median)",
                    exercise ? "  in an exercise" : "");
        for (std::size_t p = 0; p < 2; ++p) {
            std::printf("%-20s %15.0f ms %10.1f MiB", programs[p].name.c_str(), startup[p], hwm[p]);
            if (exercise)
                std::printf(" %12.1f MiB", inExercise[p]);
            std::printf("\n");
        }
        std::printf("%-20s %17.2fx %13.2fx", "Tonvero / bare", ratio(startup[1], startup[0]), ratio(hwm[1], hwm[0]));
        if (exercise)
            std::printf(" %15.2fx", ratio(inExercise[1], inExercise[0]));
        std::printf("\n");
    }
    XCloseDisplay(display);
    return failures ? 1 : 0;
}
