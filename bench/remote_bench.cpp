// The remote control's round trip on loopback, from sending a command to having its whole
// reply: KIVO on a simulated receiver as COM1 against Hamlib's rigctld on its dummy rig
// (`rigctld -m 1`), in batches taken in turn so that both meet the same machine.
//
// "f" reads the window; "F" tunes the receiver, and a tune is a command on the line
// followed by its drain wait: KIVO's floor is 10 ms for each command the receiver got.
// rigctld's dummy rig waits a fixed time in a set, whole milliseconds: its floor is its
// shortest "F" in whole milliseconds, and what it takes above that is its own overhead.
// So "F" is KIVO's time less rigctld's overhead, over KIVO's floor.
//
//   kivo_remote_bench KIVO [ROUNDS]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/arguments.h"
#include "bench/chanfiles.h"
#include "bench/table.h"
#include "bench/tempfolder.h"
#include "sim/simulator.h"
#include "tests/support/posix/loopback.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

using testenv::freePort;
using testenv::loopback;

// A program started for the run, ended with it; `env` is set in its environment.
class Child {
  public:
    Child(const std::vector<std::string>& argv, std::vector<std::string> env) {
        const std::size_t own = env.size();
        for (char** e = environ; *e; ++e) {
            const std::string_view entry(*e);
            const std::string_view name = entry.substr(0, entry.find('=') + 1);
            bool set = false;
            for (std::size_t i = 0; i < own; ++i) set = set || env[i].starts_with(name);
            if (!set) env.emplace_back(entry);
        }
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            // Their chatter is not the figure.
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            execvpe(args[0], args.data(), envp.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(50ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

  private:
    pid_t pid_ = -1;
};

// A client that sends one command and waits for its whole reply, as a polling client does.
class Connection {
  public:
    explicit Connection(unsigned short port) {
        const auto end = Clock::now() + 30s;
        while (Clock::now() < end) {
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr = loopback(port);
            if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
            ::close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(50ms);
        }
        if (fd_ < 0) throw std::runtime_error("no server on port " + std::to_string(port));
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~Connection() {
        if (fd_ >= 0) ::close(fd_);
    }

    // The reply to `command`, read until it ends in `last` (its last line).
    std::string ask(const std::string& command, const std::string& last) {
        if (::send(fd_, command.data(), command.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(command.size()))
            throw std::runtime_error("send failed");
        std::string in;
        while (!in.ends_with(last)) {
            char buffer[4096];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) throw std::runtime_error("no reply to " + command);
            in.append(buffer, static_cast<std::size_t>(n));
        }
        return in;
    }

    // The round trips of `count` commands, in microseconds; `pick` chooses each one.
    template <typename Pick>
    std::vector<double> roundTrips(int count, Pick pick) {
        std::vector<double> times;
        for (int i = 0; i < count; ++i) {
            const std::string command = pick(i);
            const auto t0 = Clock::now();
            ask(command, "\n");
            times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        return times;
    }

  private:
    int fd_ = -1;
};

// Tunes that stay in the AM band, so that each is one command on the line.
std::string tune(int i) {
    return i % 2 ? "F 954000\n" : "F 594000\n";
}

std::string getFrequency(int) {
    return "f\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<int> asked = bench::rounds(argc, argv, 1, "KIVO [ROUNDS]", 9);
    if (!asked) return 2;
    const int rounds = *asked;
    try {
        bench::TempFolder folder("kivo-remote-bench");
        const fs::path ports = folder.path() / "ports";
        const fs::path program = folder.path() / "program";
        fs::create_directories(program);
        fs::copy_file(argv[1], program / "kivo");
        bench::writeFile((program / "KIVO.ini").string(), "Radio1,AM,594,80,COM1\r\n");
        sim::Simulator::Options options;
        options.portsDir = ports.string();
        sim::Simulator receiver(options);

        // A runtime folder of its own: the user's running copy is not this one's business.
        const fs::path runtime = folder.path() / "runtime";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);

        const unsigned short kivoPort = freePort(), rigctldPort = freePort();
        Child kivo({(program / "kivo").string(), "--remote=127.0.0.1:" + std::to_string(kivoPort),
                    "Radio1"},
                   {"KIVO_PORTS=" + ports.string(), "XDG_RUNTIME_DIR=" + runtime.string()});
        Child rigctld({"rigctld", "-m", "1", "-T", "127.0.0.1", "-t", std::to_string(rigctldPort)},
                      {});
        if (!receiver.waitForLines(6, 30s)) throw std::runtime_error("KIVO did not switch on");
        Connection toKivo(kivoPort), toRigctld(rigctldPort);
        toKivo.ask("F 594000\n", "\n");  // the window settles on a tuned field
        toRigctld.ask("F 594000\n", "\n");

        std::vector<double> kivoRead, rigRead, kivoTune, rigTune, floors;
        double rigShortest = 1e12;
        for (int r = 0; r < rounds; ++r) {
            rigRead.push_back(bench::median(toRigctld.roundTrips(200, getFrequency)));
            kivoRead.push_back(bench::median(toKivo.roundTrips(200, getFrequency)));
            const std::vector<double> rig = toRigctld.roundTrips(20, tune);
            rigTune.push_back(bench::median(rig));
            rigShortest = std::min(rigShortest, *std::min_element(rig.begin(), rig.end()));
            receiver.clear();
            constexpr int kTunes = 20;
            kivoTune.push_back(bench::median(toKivo.roundTrips(kTunes, tune)));
            std::size_t sent = 0;
            for (const std::string& line : receiver.lines()) sent += line != "J4101";  // ticks
            floors.push_back(10.0 * 1000 * static_cast<double>(sent) / kTunes);
        }
        const double kRead = bench::median(kivoRead), rRead = bench::median(rigRead);
        const double kTune = bench::median(kivoTune), rTune = bench::median(rigTune);
        const double kFloor = bench::median(floors);
        const double rOverhead = rTune - 1000 * std::floor(rigShortest / 1000);

        bench::Table table("Remote control round trip (" + std::to_string(rounds) +
                           " rounds, rigctld -m 1 beside it)");
        table.row("f (read the frequency)", bench::us(rRead) + " rigctld", bench::us(kRead),
                  bench::ratio(kRead / rRead), "<= 1x");
        table.row("F (tune) less rigctld's overhead",
                  bench::ms(kFloor / 1000) + " floor, rigctld " + bench::ms(rTune / 1000) + " = " +
                      bench::ms((rTune - rOverhead) / 1000) + " floor + " + bench::us(rOverhead),
                  bench::ms(kTune / 1000), bench::ratio((kTune - rOverhead) / kFloor), "<= 1.1x");
        table.print();
        toKivo.ask("\\set_powerstat 0\n", "\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kivo_remote_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
