// Start-up to the first frame, watched from outside the programs on an X display: from
// starting a program to its first top-level window being mapped, and to the first drawing
// in it (DAMAGE), with the resident set once it shows.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

struct Sample {
    double mappedMs = 0;
    double frameMs = 0;
    double residentMb = 0;
};

// Watches the display for the windows a started program creates, maps and draws in.
class Display {
  public:
    Display() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) throw std::runtime_error("no X display");
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c_, &xcb_damage_id);
        if (!damage || !damage->present) throw std::runtime_error("no DAMAGE extension");
        damageEvent_ = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(c_, xcb_damage_query_version(c_, 1, 1), nullptr));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }
    ~Display() { xcb_disconnect(c_); }

    // Starts `argv` with `env` and waits (up to `limit`) for its first frame. The
    // program is left running; nullopt when no frame came.
    std::optional<Sample> start(pid_t& child, const std::vector<std::string>& argv,
                                const std::vector<std::string>& env,
                                std::chrono::milliseconds limit) {
        drain();
        const auto t0 = Clock::now();
        child = spawn(argv, env);
        std::set<xcb_window_t> created;
        std::optional<xcb_window_t> mapped;
        Sample s;
        const auto end = t0 + limit;
        while (Clock::now() < end) {
            xcb_generic_event_t* e = next(end);
            if (!e) continue;
            const auto at = Clock::now();
            const int type = e->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                auto* ce = reinterpret_cast<xcb_create_notify_event_t*>(e);
                if (ce->parent == root_) {
                    created.insert(ce->window);
                    xcb_damage_create(c_, xcb_generate_id(c_), ce->window,
                                      XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                    xcb_flush(c_);
                }
            } else if (type == XCB_MAP_NOTIFY) {
                auto* me = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (!mapped && created.count(me->window)) {
                    mapped = me->window;
                    s.mappedMs = ms(at - t0);
                }
            } else if (type == damageEvent_) {
                auto* de = reinterpret_cast<xcb_damage_notify_event_t*>(e);
                if (mapped && de->drawable == *mapped) {
                    s.frameMs = ms(at - t0);
                    free(e);
                    s.residentMb = residentMb(child);
                    return s;
                }
            }
            free(e);
        }
        return std::nullopt;
    }

  private:
    static double ms(Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    }

    static double residentMb(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string key;
        while (status >> key) {
            if (key == "VmRSS:") {
                double kb = 0;
                status >> kb;
                return kb / 1024;
            }
            std::getline(status, key);
        }
        return 0;
    }

  public:
    // Starts `argv` with `env`, not watched.
    static void run(pid_t& child, const std::vector<std::string>& argv,
                    const std::vector<std::string>& env) {
        child = spawn(argv, env);
    }

  private:
    static pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            execve(args[0], args.data(), envp.data());
            _exit(127);
        }
        return pid;
    }

    xcb_generic_event_t* next(Clock::time_point end) {
        if (xcb_generic_event_t* e = xcb_poll_for_event(c_)) return e;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        pollfd p{xcb_get_file_descriptor(c_), POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        return xcb_poll_for_event(c_);
    }

    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) free(e);
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    int damageEvent_ = 0;
};

inline void stop(pid_t child) {
    if (child <= 0) return;
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace bench
