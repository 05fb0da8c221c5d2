// kivo.exe's start-up to its first frame under Wine, against a bare Win32 window of the
// same size started the same way (`wine PROGRAM`), taking turns round after round on one
// X display and one Wine server. Runs inside scripts/wine-prefix.sh with the X11 driver;
// kivo.exe reads a 4-line KIVO.ini beside itself, COM1 being a pseudo-terminal. The same
// bare window carrying kivo.exe's manifest shows what that manifest costs by itself.
//
//   kivo_wine_startup_bench KIVO.EXE BARE.EXE BARE-WITH-MANIFEST.EXE [ROUNDS]
#include <cstdio>
#include <filesystem>

#include "bench/arguments.h"
#include "bench/chanfiles.h"
#include "bench/firstframe.h"
#include "bench/table.h"
#include "bench/tempfolder.h"

namespace fs = std::filesystem;

namespace {

// Runs `argv` to its end (a program asked to close the one under measure).
void runToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    pid_t closer = -1;
    bench::Display::run(closer, argv, env);
    int status = 0;
    waitpid(closer, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<int> asked =
        bench::rounds(argc, argv, 3, "KIVO.EXE BARE.EXE BARE-WITH-MANIFEST.EXE [ROUNDS]", 9);
    if (!asked) return 2;
    const int rounds = *asked;
    try {
        bench::TempFolder folder("kivo-wine-startup");
        const fs::path program = folder.path() / "kivo.exe";
        fs::copy_file(argv[1], program);
        bench::writeFile((folder.path() / "KIVO.ini").string(), bench::sampleChannelFile());
        const std::string wine = "/usr/bin/wine";
        const std::string bare = fs::absolute(argv[2]).string();
        const std::string bareManifest = fs::absolute(argv[3]).string();

        std::vector<std::string> env;
        for (const char* name : {"DISPLAY", "XAUTHORITY", "PATH", "HOME", "WINEPREFIX", "WINEDEBUG",
                                 "WINEDLLOVERRIDES", "LD_PRELOAD"})
            if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);

        struct Config {
            std::string label;
            std::vector<std::string> start, close;
            std::vector<bench::Sample> samples = {};
        };
        std::vector<Config> configs = {
            {"bare Win32 window", {wine, bare}, {wine, bare, "--close"}},
            {"kivo.exe, 4 lines", {wine, program.string()}, {wine, program.string()}},
            {"bare window, kivo.exe's manifest",
             {wine, bareManifest},
             {wine, bareManifest, "--close"}},
        };
        bench::Display display;
        // The first round warms the caches and is not counted.
        for (int r = 0; r <= rounds; ++r) {
            for (Config& c : configs) {
                pid_t child = -1;
                auto s = display.start(child, c.start, env, std::chrono::seconds(60));
                // A second start closes it; then it is waited for.
                runToEnd(c.close, env);
                int status = 0;
                waitpid(child, &status, 0);
                if (!s) throw std::runtime_error("no frame from " + c.label);
                if (r > 0) c.samples.push_back(*s);
            }
        }

        const Config &b = configs[0], &k = configs[1], &m = configs[2];
        auto median = [](const Config& c, double bench::Sample::*field) {
            std::vector<double> v;
            for (const bench::Sample& s : c.samples) v.push_back(s.*field);
            return bench::median(v);
        };
        // The median of the rounds' ratios: a round's programs ran side by side.
        auto ratio = [](const Config& over, const Config& base) {
            std::vector<double> ratios;
            for (std::size_t r = 0; r < base.samples.size() && r < over.samples.size(); ++r)
                ratios.push_back(over.samples[r].frameMs / base.samples[r].frameMs);
            return bench::ratio(bench::median(ratios));
        };
        auto times = [&](const Config& c) {
            return bench::ms(median(c, &bench::Sample::mappedMs)) + " / " +
                   bench::ms(median(c, &bench::Sample::frameMs));
        };
        bench::Table table("start-up to the first frame under Wine on Xvfb, median of " +
                           std::to_string(rounds) +
                           " rounds (window mapped / first drawing; ratio: median of the "
                           "rounds' ratios)");
        table.row("kivo.exe vs bare Win32 window", times(b) + " (bare)", times(k), ratio(k, b),
                  "<= 1.3x");
        table.row("bare window with kivo.exe's manifest vs bare", times(b) + " (bare)", times(m),
                  ratio(m, b), "");
        table.row("kivo.exe vs bare window with its manifest", times(m) + " (manifest)", times(k),
                  ratio(k, m), "");
        table.row("resident set", bench::mb(median(b, &bench::Sample::residentMb)) + " (bare)",
                  bench::mb(median(k, &bench::Sample::residentMb)),
                  bench::ratio(median(k, &bench::Sample::residentMb) /
                               median(b, &bench::Sample::residentMb)),
                  "");
        table.print();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wine startup bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
