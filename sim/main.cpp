// kivo-sim: a stand-in receiver on a pseudo-terminal, for trying KIVO without the hardware.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kivo_version.h"
#include "sim/simulator.h"

namespace {

const char kUsage[] =
    "Usage: kivo-sim [--port COMn] [--ports-dir DIR] [--log FILE]\n"
    "\n"
    "Simulates the receiver on a pseudo-terminal and registers it as a COM port, so that\n"
    "KIVO can be tried without the hardware. Runs until interrupted (Ctrl-C or SIGTERM),\n"
    "then removes its port link. SIGUSR1 pulls the receiver's adapter out (the line hangs\n"
    "up, the link goes, the receiver forgets its state) and the next SIGUSR1 plugs it in\n"
    "again under the same name: kill -USR1 PID.\n"
    "\n"
    "  --port COMn      the port name to register (default COM1)\n"
    "  --ports-dir DIR  the ports folder (default: $KIVO_PORTS, else\n"
    "                   $XDG_CONFIG_HOME/kivo/ports, else ~/.config/kivo/ports);\n"
    "                   created if missing\n"
    "  --log FILE       append the time-stamped received lines to FILE\n"
    "                   (default: standard output, with the state summaries)\n"
    "  --help           show this help\n"
    "  --version        print the version and exit\n"
    "\n"
    "Start KIVO with KIVO_PORTS set to the ports folder to make it find the port.\n"
    "Exit status: 0 after a clean stop, 1 when it cannot start, 2 for bad options.\n";

void printLine(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "kivo-sim: %s\nTry 'kivo-sim --help'.\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Simulator::Options options;
    std::string logPath;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::fputs("kivo-sim " KIVO_VERSION "\n", stdout);
            return 0;
        } else if (arg == "--port") {
            if (!takeValue()) return usageError("--port needs a port name");
            if (!sim::isComName(value)) return usageError("not a port name: " + value);
            options.portName = value;
        } else if (arg == "--ports-dir") {
            if (!takeValue() || value.empty()) return usageError("--ports-dir needs a folder");
            options.portsDir = value;
        } else if (arg == "--log") {
            if (!takeValue() || value.empty()) return usageError("--log needs a file name");
            logPath = value;
        } else {
            return usageError("unknown option: " + arg);
        }
    }

    std::FILE* log = stdout;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (!log) {
            std::fprintf(stderr, "kivo-sim: cannot open the log %s: %s\n", logPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    options.onLog = [log](const std::string& line) { printLine(log, line); };
    options.onSummary = [](const std::string& s) { printLine(stdout, "state: " + s); };

    // The stop signals are taken synchronously by sigwait below; they are blocked before
    // the simulator's thread starts so that it inherits the mask and never receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);  // not a stop: unplugs and plugs in again
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int status = 0;
    try {
        sim::Simulator simulator(options);
        printLine(stdout, "kivo-sim: receiver on " + simulator.portName() + " -> " +
                              simulator.devicePath() + " (link " + simulator.linkPath() + ")");
        const char* env = std::getenv("KIVO_PORTS");
        if (!env || simulator.portsDir() != env)
            printLine(stdout, "kivo-sim: start kivo with KIVO_PORTS=" + simulator.portsDir());
        printLine(stdout, "state: " + sim::summary(simulator.state()));

        printLine(stdout, "kivo-sim: unplug and plug in again with kill -USR1 " +
                              std::to_string(::getpid()));

        int signo = 0;
        while (sigwait(&stopSignals, &signo) == 0 && signo == SIGUSR1) {
            if (simulator.plugged()) {
                simulator.unplug();
                continue;
            }
            try {
                simulator.replug();
            } catch (const sim::SimError& e) {  // stays unplugged; the next signal tries again
                std::fprintf(stderr, "kivo-sim: %s\n", e.what());
            }
        }
        printLine(stdout, std::string("kivo-sim: stopping (") + strsignal(signo) + ")");
    } catch (const sim::SimError& e) {
        std::fprintf(stderr, "kivo-sim: %s\n", e.what());
        status = 1;
    }
    if (log != stdout) std::fclose(log);
    return status;
}
