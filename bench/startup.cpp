// Start-up as the operator sees it: from exec to the main window mapped on the X server, and
// the peak memory by then, beside the same figures of a minimal Qt Widgets dialog with a label
// and a button. Each run waits for the window's MapNotify event on the root window, then ends
// the program. Needs an X server without a window manager (an Xvfb) in DISPLAY.
//   bench_startup [runs] [program] [reference program]
#include <signal.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include "bench/paired_runs.h"
#include "core/counters.h"
#include "core/registry_settings.h"

namespace {

struct StartFigures {
    double milliseconds = 0;
    double peakMegabytes = 0;
    double libraries = 0;
};

xcb_atom_t atom(xcb_connection_t* x, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return result;
}

// The process that owns a window, as Qt notes it in _NET_WM_PID.
pid_t windowPid(xcb_connection_t* x, xcb_window_t window, xcb_atom_t netWmPid) {
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    pid_t pid = 0;
    if (reply && xcb_get_property_value_length(reply) == 4)
        pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
    free(reply);
    return pid;
}

double statusMegabytes(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + strlen(field)) / 1024.0;
    return 0;
}

double sharedLibraries(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> libraries;
    std::string line;
    while (std::getline(maps, line)) {
        const size_t path = line.find('/');
        if (path != std::string::npos && line.find(".so", path) != std::string::npos)
            libraries.insert(line.substr(path));
    }
    return static_cast<double>(libraries.size());
}

// Starts program, waits for the first window it maps, takes the figures and ends it.
bool startOnce(xcb_connection_t* x, xcb_atom_t netWmPid, const std::string& program, StartFigures& figures) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return false;
    bool mapped = false;
    while (!mapped) {
        xcb_generic_event_t* event = xcb_wait_for_event(x);
        if (event == nullptr) break;
        if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (!map->override_redirect && windowPid(x, map->window, netWmPid) == pid) {
                mapped = true;
                figures.milliseconds = std::chrono::duration<double, std::milli>(elapsed).count();
                figures.peakMegabytes = statusMegabytes(pid, "VmHWM:");
                figures.libraries = sharedLibraries(pid);
            }
        }
        free(event);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // Whatever the ended program's windows still report is not the next run's map.
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) free(event);
    return mapped;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string program = argc > 2 ? argv[2] : SWD_ISP_PROGRAM;
    const std::string reference = argc > 3 ? argv[3] : SWD_ISP_REFERENCE_DIALOG;
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X display: start an Xvfb and set DISPLAY\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
    const xcb_atom_t netWmPid = atom(x, "_NET_WM_PID");

    // Both programs start on a store that holds what a production line has stored.
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);
    setenv("XDG_RUNTIME_DIR", (home.path() + "/runtime").toUtf8().constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QDir().mkpath(home.path() + "/runtime");
    QFile::setPermissions(home.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    RegSaveIspIcType();
    RegSaveTotalCount(123456);
    RegSavePassCount(123000);
    RegSaveFailCount(456);
    RegSaveSerialNoEn(1);
    RegSaveLastSn(7000);

    PairedFigure time{"exec to window mapped", "ms", {}, {}};
    PairedFigure memory{"peak memory at map", "MB", {}, {}};
    PairedFigure libraries{"shared libraries at map", "", {}, {}};
    for (int run = 0; run < runs; ++run) {
        StartFigures ours, minimal;
        if (!startOnce(x, netWmPid, program, ours) || !startOnce(x, netWmPid, reference, minimal)) {
            std::fprintf(stderr, "a program ended before it mapped a window\n");
            return 1;
        }
        time.add(ours.milliseconds, minimal.milliseconds);
        memory.add(ours.peakMegabytes, minimal.peakMegabytes);
        libraries.add(ours.libraries, minimal.libraries);
    }
    std::printf("start-up of %s against %s\n", program.c_str(), reference.c_str());
    time.print();
    memory.print();
    libraries.print();
    xcb_disconnect(x);
    return 0;
}
