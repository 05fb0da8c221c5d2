// The port checks on a busy machine: `kivo --list-ports` with one and with four mapped
// ports, on a quiet machine and on one the benchmark makes busy (processes holding many
// descriptors each, which every look for a port's other holders has to go through), in
// rounds taken in turn so that all meet the same machine.
//
//   kivo_ports_bench KIVO [ROUNDS]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/arguments.h"
#include "bench/table.h"
#include "bench/tempfolder.h"
#include "sim/pty_pair.h"
#include "tests/support/posix/busyprocesses.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Runs `argv` with `env`, its output thrown away; the milliseconds until it has ended.
double timedRun(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + std::string(" --list-ports failed"));
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Config {
    std::string label;
    std::string portsDir;
    bool busy = false;
    std::vector<double> samples = {};
};

}  // namespace

int main(int argc, char** argv) {
    const std::optional<int> asked = bench::rounds(argc, argv, 1, "KIVO [ROUNDS]", 9);
    if (!asked) return 2;
    const int rounds = *asked;
    try {
        bench::TempFolder folder("kivo-ports");
        const fs::path& work = folder.path();
        // Four adapters: pseudo-terminals whose far ends the benchmark holds.
        std::vector<std::unique_ptr<sim::PtyPair>> adapters;
        for (int i = 0; i < 4; ++i) adapters.push_back(std::make_unique<sim::PtyPair>());
        auto portsWith = [&](int count) {
            const fs::path dir = work / ("ports" + std::to_string(count));
            fs::create_directories(dir);
            for (int i = 0; i < count; ++i)
                fs::create_symlink(adapters[i]->slavePath(), dir / ("COM" + std::to_string(i + 1)));
            return dir.string();
        };
        const std::string one = portsWith(1), four = portsWith(4);
        std::vector<Config> configs = {{"1 port, quiet", one},
                                       {"4 ports, quiet", four},
                                       {"1 port, busy", one, true},
                                       {"4 ports, busy", four, true}};
        const std::string kivo = fs::absolute(argv[1]).string();
        const char* path = getenv("PATH");

        // The first round warms the caches and is not counted.
        for (int r = 0; r <= rounds; ++r) {
            for (bool busy : {false, true}) {
                std::optional<testenv::BusyProcesses> load;
                if (busy) load.emplace();
                for (Config& c : configs) {
                    if (c.busy != busy) continue;
                    const double t = timedRun({kivo, "--list-ports"},
                                              {"KIVO_PORTS=" + c.portsDir, "HOME=" + work.string(),
                                               std::string("PATH=") + (path ? path : "")});
                    if (r > 0) c.samples.push_back(t);
                }
            }
        }

        bench::Table table("kivo --list-ports, median of " + std::to_string(rounds) +
                           " rounds; busy: " + std::to_string(testenv::BusyProcesses::kCount) +
                           " processes holding " +
                           std::to_string(testenv::BusyProcesses::kDescriptors) +
                           " descriptors each (ratio: median of the rounds' ratios)");
        auto row = [&](const std::string& what, const Config& base, const char* baseName,
                       const Config& k, const char* goal) {
            std::vector<double> ratios;
            for (std::size_t r = 0; r < base.samples.size() && r < k.samples.size(); ++r)
                ratios.push_back(k.samples[r] / base.samples[r]);
            table.row(what, bench::ms(bench::median(base.samples)) + " (" + baseName + ")",
                      bench::ms(bench::median(k.samples)), bench::ratio(bench::median(ratios)),
                      goal);
        };
        row("4 ports vs 1 port, busy machine", configs[2], "1 port", configs[3], "<= 1.2x");
        row("4 ports vs 1 port, quiet machine", configs[0], "1 port", configs[1], "");
        row("1 port, busy vs quiet machine", configs[0], "quiet", configs[2], "");
        row("4 ports, busy vs quiet machine", configs[1], "quiet", configs[3], "");
        table.print();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ports bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
