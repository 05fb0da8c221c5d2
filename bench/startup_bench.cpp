// Start-up to the first frame, watched from outside the programs on an X display: from
// starting a program to its first top-level window being mapped, and to the first
// drawing in it (DAMAGE). The bare Qt window, the same with one line of text, and KIVO
// with channel files of several sizes take turns, round after round, so that all meet
// the same machine; KIVO finds a simulated receiver as COM1. Also the resident set once
// the window shows, and KIVO on a machine the benchmark makes busy (processes holding many
// descriptors each, which the port scan's look for other holders goes through).
//
//   kivo_startup_bench KIVO BARE_WINDOW [ROUNDS]
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/arguments.h"
#include "bench/chanfiles.h"
#include "bench/firstframe.h"
#include "bench/table.h"
#include "bench/tempfolder.h"
#include "sim/simulator.h"
#include "tests/support/posix/busyprocesses.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench::Display;
using bench::Sample;
using bench::stop;

namespace {

struct Config {
    std::string label;
    std::vector<std::string> argv;
    double fileMb = 0;
    bool busy = false;
    std::vector<Sample> samples = {};
};

}  // namespace

int main(int argc, char** argv) {
    const std::optional<int> asked = bench::rounds(argc, argv, 2, "KIVO BARE_WINDOW [ROUNDS]", 7);
    if (!asked) return 2;
    const int rounds = *asked;
    try {
        bench::TempFolder folder("kivo-startup");
        const fs::path& work = folder.path();
        fs::create_directories(work / "ports");
        fs::create_directories(work / "runtime");
        fs::permissions(work / "runtime", fs::perms::owner_all);

        sim::Simulator::Options options;
        options.portsDir = (work / "ports").string();
        options.portName = "COM1";
        sim::Simulator receiver(options);

        // One program folder per channel file: KIVO reads KIVO.ini beside itself.
        auto programWith = [&](const std::string& name, auto writeIni) {
            fs::path dir = work / name;
            fs::create_directories(dir);
            fs::copy_file(argv[1], dir / "kivo");
            const double mb = writeIni((dir / "KIVO.ini").string()) / 1e6;
            return std::make_pair((dir / "kivo").string(), mb);
        };
        std::vector<Config> configs;
        configs.push_back({"bare Qt window", {fs::absolute(argv[2]).string()}});
        configs.push_back({"Qt window with text", {fs::absolute(argv[2]).string(), "--text"}});
        auto [four, fourMb] = programWith("four", [](const std::string& p) {
            const std::string ini = bench::sampleChannelFile();
            bench::writeFile(p, ini);
            return static_cast<double>(ini.size());
        });
        configs.push_back({"KIVO, 4 lines", {four}, fourMb});
        auto [many, manyMb] = programWith("many", [](const std::string& p) {
            const std::string ini = bench::manyChannelLines(100000);
            bench::writeFile(p, ini);
            return static_cast<double>(ini.size());
        });
        configs.push_back({"KIVO, 100 000 lines", {many}, manyMb});
        auto [big, bigMb] = programWith("big", [](const std::string& p) {
            return static_cast<double>(bench::writeLinesOfSize(p, 200u << 20));
        });
        configs.push_back({"KIVO, 200 MB of lines", {big}, bigMb});
        auto [nul, nulMb] = programWith("nul", [](const std::string& p) {
            bench::writeFile(p, "");
            fs::resize_file(p, 2ull << 30);  // a hole: NUL bytes that take no disk
            return static_cast<double>(2ull << 30);
        });
        configs.push_back({"KIVO, 2 GB of NUL", {nul}, nulMb});
        configs.push_back({"KIVO, 4 lines, busy machine", {four}, fourMb, true});

        auto inherited = [](const char* name) {
            const char* value = getenv(name);
            return std::string(name) + "=" + (value ? value : "");
        };
        const std::vector<std::string> env = {
            inherited("DISPLAY"),
            inherited("XAUTHORITY"),
            inherited("PATH"),
            "KIVO_PORTS=" + (work / "ports").string(),
            "XDG_RUNTIME_DIR=" + (work / "runtime").string(),
            "QT_QPA_PLATFORM=xcb",
            "HOME=" + work.string(),
        };

        Display display;
        // The first round warms the caches and is not counted.
        for (int r = 0; r <= rounds; ++r) {
            for (Config& c : configs) {
                std::optional<testenv::BusyProcesses> load;
                if (c.busy) load.emplace();
                pid_t child = -1;
                auto s = display.start(child, c.argv, env, std::chrono::seconds(30));
                stop(child);
                if (!s) throw std::runtime_error("no frame from " + c.label);
                if (r > 0) c.samples.push_back(*s);
            }
        }

        auto frame = [](const Config& c) {
            std::vector<double> v;
            for (const Sample& s : c.samples) v.push_back(s.frameMs);
            return bench::median(v);
        };
        auto mapped = [](const Config& c) {
            std::vector<double> v;
            for (const Sample& s : c.samples) v.push_back(s.mappedMs);
            return bench::median(v);
        };
        auto resident = [](const Config& c) {
            std::vector<double> v;
            for (const Sample& s : c.samples) v.push_back(s.residentMb);
            return bench::median(v);
        };
        const Config &bare = configs[0], &text = configs[1], &k4 = configs[2], &k100k = configs[3],
                     &k200 = configs[4], &k2g = configs[5], &kBusy = configs[6];

        bench::Table table(
            "start-up to the first frame under Xvfb, median of " + std::to_string(rounds) +
            " rounds (window mapped / first drawing; ratio: median of the rounds' ratios)");
        auto times = [&](const Config& c) {
            return bench::ms(mapped(c)) + " / " + bench::ms(frame(c));
        };
        auto row = [&](const std::string& what, const Config& b, const char* baseName,
                       const Config& k, const char* goal) {
            // Each round's ratio: the two ran a moment apart, so a busy spell of the
            // machine falls on both.
            std::vector<double> ratios;
            for (std::size_t r = 0; r < b.samples.size() && r < k.samples.size(); ++r)
                ratios.push_back(k.samples[r].frameMs / b.samples[r].frameMs);
            table.row(what, times(b) + " (" + baseName + ")", times(k),
                      bench::ratio(bench::median(ratios)), goal);
        };
        row("4-line KIVO.ini vs bare Qt window", bare, "bare", k4, "<= 1.4x");
        // What any window pays that shows text: the font configuration read, the face loaded.
        row("Qt window with one label vs bare", bare, "bare", text, "");
        row("4-line KIVO.ini vs window with one label", text, "label", k4, "");
        row("100 000 lines vs 4 lines", k4, "4 lines", k100k, "<= 1.5x");
        row("200 MB of lines vs 4 lines", k4, "4 lines", k200, "");
        row("2 GB of NUL bytes vs 4 lines", k4, "4 lines", k2g, "~1x");
        row("4 lines, busy machine vs quiet (" + std::to_string(testenv::BusyProcesses::kCount) +
                " x " + std::to_string(testenv::BusyProcesses::kDescriptors) + " descriptors)",
            k4, "quiet", kBusy, "<= 1.5x");
        const double grown = resident(k200) - resident(k4);
        table.row("resident set, 200 MB file (" + bench::mb(k200.fileMb) + ")",
                  bench::mb(resident(k4)) + " (4 lines)", bench::mb(resident(k200)),
                  bench::ratio(grown / k200.fileMb) + " file", "small multiple");
        table.row("resident set, 2 GB of NUL bytes", bench::mb(resident(k4)) + " (4 lines)",
                  bench::mb(resident(k2g)), bench::ratio(resident(k2g) / resident(k4)), "~1x");
        table.print();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
