// Time from starting a program to the first paint of its main window on an X server, for
// programs that carry no probe of their own: the X server's damage extension reports the
// first drawing into any new top-level window of at least 300 x 200 pixels. The programs
// are started alternately, round after round, so that both see the same machine load.
// Usage: first-paint-watch <rounds> <name> <command...> -- <name> <command...>
// Prints per program the median with the lowest and highest run, and the ratio of the
// second program's time to the first's per round.
#include "BenchFigures.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;

struct Program {
    std::string name;
    std::vector<std::string> command;
    std::vector<double> ms;
};

struct Connection {
    xcb_connection_t *c = nullptr;
    xcb_window_t root = 0;
    uint8_t damageEvent = 0;
};

bool Connect(Connection &x)
{
    x.c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x.c))
        return false;
    x.root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(x.c, &xcb_damage_id);
    if (!damage || !damage->present)
        return false;
    x.damageEvent = damage->first_event;
    std::unique_ptr<xcb_damage_query_version_reply_t, decltype(&free)> version(
        xcb_damage_query_version_reply(x.c, xcb_damage_query_version(x.c, 1, 1), nullptr), &free);
    if (!version)
        return false;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x.c, x.root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x.c);
    return true;
}

// Starts the command, waits for the first drawing into its main window, ends the process;
// the milliseconds from the start, or a negative value when nothing was drawn in time.
double Measure(Connection &x, const std::vector<std::string> &command)
{
    std::vector<char *> argv;
    for (const std::string &word : command)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    double elapsed = -1;
    std::vector<xcb_damage_damage_t> damages;
    const Clock::time_point deadline = start + std::chrono::seconds(30);
    while (elapsed < 0 && Clock::now() < deadline) {
        std::unique_ptr<xcb_generic_event_t, decltype(&free)> event(xcb_poll_for_event(x.c), &free);
        if (!event) {
            if (xcb_connection_has_error(x.c))
                break;
            usleep(200);
            continue;
        }
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event.get());
            if (created->parent == x.root && created->width >= 300 && created->height >= 200) {
                const xcb_damage_damage_t damage = xcb_generate_id(x.c);
                xcb_damage_create(x.c, damage, created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(x.c);
                damages.push_back(damage);
            }
        } else if (type == x.damageEvent + XCB_DAMAGE_NOTIFY) {
            elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    for (xcb_damage_damage_t damage : damages)
        xcb_damage_destroy(x.c, damage);
    xcb_flush(x.c);
    // Drop what the ended program's windows still reported.
    while (xcb_generic_event_t *late = xcb_poll_for_event(x.c))
        free(late);
    return elapsed;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<Program> programs(2);
    int at = 2;
    for (Program &program : programs) {
        if (at >= argc)
            break;
        program.name = argv[at++];
        while (at < argc && std::strcmp(argv[at], "--") != 0)
            program.command.push_back(argv[at++]);
        ++at;
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 0;
    if (rounds < 1 || programs[0].command.empty() || programs[1].command.empty()) {
        std::fprintf(stderr, "usage: %s <rounds> <name> <command...> -- <name> <command...>\n", argv[0]);
        return 2;
    }
    Connection x;
    if (!Connect(x)) {
        std::fprintf(stderr, "no X server with the damage extension on $DISPLAY\n");
        return 1;
    }
    // One unmeasured start of each fills the file cache.
    for (Program &program : programs)
        Measure(x, program.command);
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        for (Program &program : programs) {
            const double ms = Measure(x, program.command);
            if (ms < 0) {
                std::fprintf(stderr, "%s drew no window within 30 s\n", program.name.c_str());
                return 1;
            }
            program.ms.push_back(ms);
        }
        ratios.push_back(programs[1].ms.back() / programs[0].ms.back());
    }
    std::printf("start to first paint of the main window, %d rounds (median, lowest .. highest):\n", rounds);
    for (const Program &program : programs) {
        const Figures f = Summarise(program.ms);
        std::printf("  %-22s %8.1f ms (%.1f .. %.1f)\n", program.name.c_str(), f.median, f.low, f.high);
    }
    const Figures r = Summarise(ratios);
    std::printf("  %-22s %8.2f    (%.2f .. %.2f)\n", (programs[1].name + " / " + programs[0].name).c_str(),
        r.median, r.low, r.high);
    return 0;
}
