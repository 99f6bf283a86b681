// SPDX-License-Identifier: GPL-3.0-or-later
// tonvero_measure: starts the trainer and a bare Qt 6 window the same way
// (and, with --baseline, an earlier build of the trainer), several times each
// and interleaved, on the X display of $DISPLAY, and prints for each the
// median and the range of the time from launch to the first shown window and
// of the peak memory (VmHWM), and their ratios.
//
//   xvfb-run -a tonvero_measure [--runs N] [--settle MS] [--exercise] [--first-note]
//                               [--baseline PATH] [--trainer PATH] [--bare PATH]
//                               [--verbose] [--soundfonts system|none|FILE[,FILE...]]...
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
// --first-note runs tonvero_firstnote as often: the trainer's window with an
// exercise started the moment it is shown and its note played at once, and
// prints when that note was first rendered, counted from the window's showing.
//
// --soundfonts FILE,... shows the programs a /usr/share/sounds/sf2 holding
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
    double firstNoteMs = 0;
    std::string error;
};

struct Program {
    std::string name;
    std::string shortName; // in the ratios
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

// The environment both programs get: the caller's, on the X display, with
// fresh settings, data and runtime directories (the user's history stays untouched).
std::vector<std::string> environmentFor(const std::string& home)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0
            || entry.rfind("XDG_DATA_HOME=", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("XDG_CONFIG_HOME=" + home + "/config");
    env.push_back("XDG_DATA_HOME=" + home + "/data");
    env.push_back("XDG_RUNTIME_DIR=" + home + "/runtime");
    return env;
}

// A scratch home for one run: settings and runtime directories of its own,
// and the mount point the soundfont directory is kept at while it is hidden.
struct Scratch {
    std::string home;
    std::string stash;
    std::vector<std::string> env;
    std::vector<char*> envp;
    std::string error;

    Scratch()
    {
        char pattern[] = "/tmp/tonvero-measure.XXXXXX";
        if (!::mkdtemp(pattern)) {
            error = std::string("cannot make a temporary directory: ") + std::strerror(errno);
            return;
        }
        home = pattern;
        stash = home + "/soundfonts";
        ::mkdir((home + "/config").c_str(), 0700);
        ::mkdir((home + "/data").c_str(), 0700);
        ::mkdir((home + "/runtime").c_str(), 0700);
        ::mkdir(stash.c_str(), 0700);
        env = environmentFor(home);
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
    }
    ~Scratch()
    {
        if (!home.empty())
            ::nftw(home.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// fork() and exec() of `path` in the scenario's view of the soundfonts; the
// child's standard output goes to `out` when it is not negative.
pid_t spawn(const std::string& path, const Scenario& scenario, Scratch& scratch, int out = -1)
{
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (out >= 0)
            ::dup2(out, STDOUT_FILENO);
        if (scenario.hide && !hideSoundFonts(scenario.keep, scratch.stash)) {
            std::fprintf(stderr, "tonvero_measure: cannot show a private soundfont directory (%s); "
                                 "run as root or allow user namespaces\n", std::strerror(errno));
            ::_exit(126);
        }
        ::execve(path.c_str(), argv, scratch.envp.data());
        std::fprintf(stderr, "tonvero_measure: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
        ::_exit(127);
    }
    return pid;
}

Run launch(Display* display, Atom netWmPid, const std::string& path, const Scenario& scenario, int settleMs,
           bool exercise)
{
    Run run;
    Scratch scratch;
    if (!scratch.error.empty()) {
        run.error = scratch.error;
        return run;
    }
    XSync(display, False);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
    }
    const auto start = Clock::now();
    const pid_t pid = spawn(path, scenario, scratch);
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
    return run;
}

// One run of tonvero_firstnote: what it printed, the milliseconds from the
// window's showing to the first rendered frame of the note.
Run firstNote(const std::string& path, const Scenario& scenario)
{
    Run run;
    Scratch scratch;
    int fds[2];
    if (!scratch.error.empty() || ::pipe2(fds, O_CLOEXEC) != 0) {
        run.error = scratch.error.empty() ? std::string("pipe failed: ") + std::strerror(errno) : scratch.error;
        return run;
    }
    const pid_t pid = spawn(path, scenario, scratch, fds[1]);
    ::close(fds[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        run.error = "tonvero_firstnote failed (status " + std::to_string(status) + ")";
        return run;
    }
    run.firstNoteMs = std::atof(text.c_str());
    run.ok = run.firstNoteMs > 0;
    if (!run.ok)
        run.error = "tonvero_firstnote printed: " + text;
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

// Median and range of one figure over the runs that succeeded.
struct Figure {
    double median = 0, low = 0, high = 0;
    std::string text(int decimals) const
    {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f (%.*f-%.*f)", decimals, median, decimals, low, decimals, high);
        return buffer;
    }
};

Figure figure(const std::vector<Run>& runs, double Run::*value)
{
    std::vector<double> v;
    for (const Run& run : runs)
        if (run.ok)
            v.push_back(run.*value);
    Figure f;
    if (!v.empty()) {
        f.median = median(v);
        f.low = *std::min_element(v.begin(), v.end());
        f.high = *std::max_element(v.begin(), v.end());
    }
    return f;
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

std::string ratio(double a, double b)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2fx", b > 0 ? a / b : 0.0);
    return buffer;
}

int usage()
{
    std::fprintf(stderr, "usage: xvfb-run -a tonvero_measure [--runs N] [--settle MS] [--exercise] [--first-note]\n"
                         "                      [--baseline PATH] [--trainer PATH] [--bare PATH] [--verbose]\n"
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
    bool withFirstNote = false;
    std::string trainer = TONVERO_TRAINER;
    std::string bare = TONVERO_BARE_WINDOW;
    std::string baseline;
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
        else if (arg == "--baseline" && hasValue)
            baseline = argv[++i];
        else if (arg == "--bare" && hasValue)
            bare = argv[++i];
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--exercise")
            exercise = true;
        else if (arg == "--first-note")
            withFirstNote = true;
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
        // The bare window first, the trainer last: the ratios are read against them.
        std::vector<Program> programs{{"bare Qt 6 window", "bare", bare, {}}};
        if (!baseline.empty())
            programs.push_back({"baseline Tonvero", "baseline", baseline, {}});
        programs.push_back({"Tonvero", "Tonvero", trainer, {}});
        const std::size_t count = programs.size();
        for (int round = 0; round < runs; ++round) {
            // Interleaved, each program first in turn.
            for (std::size_t k = 0; k < count; ++k) {
                Program& program = programs[(std::size_t(round) + k) % count];
                Run run = launch(display, netWmPid, program.path, scenario, settleMs, exercise);
                if (verbose || !run.ok)
                    std::fprintf(stderr, "%-18s round %d: %s %.1f ms, VmHWM %.1f MiB, in an exercise %.1f MiB\n",
                                 program.name.c_str(), round + 1, run.ok ? "" : run.error.c_str(), run.startupMs,
                                 run.hwmMiB, run.exerciseHwmMiB);
                failures += run.ok ? 0 : 1;
                program.runs.push_back(run);
            }
        }
        std::vector<Run> notes;
        for (int round = 0; withFirstNote && round < runs; ++round) {
            Run run = firstNote(TONVERO_FIRST_NOTE, scenario);
            if (verbose || !run.ok)
                std::fprintf(stderr, "first note round %d: %s %.1f ms\n", round + 1, run.error.c_str(), run.firstNoteMs);
            failures += run.ok ? 0 : 1;
            notes.push_back(run);
        }

        std::vector<Figure> startup, hwm, inExercise;
        for (const Program& program : programs) {
            startup.push_back(figure(program.runs, &Run::startupMs));
            hwm.push_back(figure(program.runs, &Run::hwmMiB));
            inExercise.push_back(figure(program.runs, &Run::exerciseHwmMiB));
        }
        std::printf("\nsoundfonts %s; %d runs each, interleaved; VmHWM read %d ms after the window is shown\n",
                    scenario.label.c_str(), runs, settleMs);
        std::printf("%-22s %-24s %-24s%s\n", "median (min-max)", "start-up, ms", "VmHWM, MiB",
                    exercise ? "  in an exercise, MiB" : "");
        for (std::size_t p = 0; p < count; ++p) {
            std::printf("%-22s %-24s %-24s", programs[p].name.c_str(), startup[p].text(0).c_str(),
                        hwm[p].text(1).c_str());
            if (exercise)
                std::printf("  %s", inExercise[p].text(1).c_str());
            std::printf("\n");
        }
        auto ratios = [&](std::size_t a, std::size_t b) {
            const std::string label = programs[a].shortName + " / " + programs[b].shortName;
            std::printf("%-22s %-24s %-24s", label.c_str(),
                        ratio(startup[a].median, startup[b].median).c_str(),
                        ratio(hwm[a].median, hwm[b].median).c_str());
            if (exercise)
                std::printf("  %s", ratio(inExercise[a].median, inExercise[b].median).c_str());
            std::printf("\n");
        };
        for (std::size_t p = 1; p < count; ++p)
            ratios(p, 0);
        if (count == 3)
            ratios(2, 1);
        if (withFirstNote) {
            const Figure f = figure(notes, &Run::firstNoteMs);
            std::printf("first note of an exercise started at once: %s ms after the window is shown\n",
                        f.text(0).c_str());
        }
    }
    XCloseDisplay(display);
    return failures ? 1 : 0;
}
