// The per-byte transmit path: txbyte on a pseudo-terminal against a bare one-byte
// write(2) on another, the far ends drained by readers; and the heap allocations one
// txbyte makes on the calling thread.
//
// Google Benchmark gives each figure on its own. The ratio comes from short batches of
// the two taken in turn, thousands of pairs: a busy moment of the machine falls on one
// batch, and the median of the pairs' ratios passes over it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/table.h"
#include "serial/rs232c.h"
#include "sim/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads and drops whatever arrives on a pty master until destroyed.
class Drain {
  public:
    explicit Drain(int master) : master_(master), thread_([this] { run(); }) {}
    ~Drain() {
        stop_ = true;
        thread_.join();
    }

  private:
    void run() {
        char buf[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) (void)!::read(master_, buf, sizeof buf);
        }
    }
    int master_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A pty slave opened bare, its master drained.
class BareLine {
  public:
    BareLine() : drain_(pty_.master()) {
        fd_ = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open the pty");
    }
    ~BareLine() { ::close(fd_); }
    bool send(char c) { return ::write(fd_, &c, 1) == 1; }

  private:
    sim::PtyPair pty_;
    Drain drain_;
    int fd_ = -1;
};

// A pty slave opened through the component (a device path is used as it is).
class ComponentLine {
  public:
    ComponentLine() : drain_(pty_.master()) {
        port_.portname = pty_.slavePath();
        if (!port_.open()) throw std::runtime_error("cannot open the pty as a port");
    }
    ~ComponentLine() { port_.close(); }
    bool send(char c) { return port_.txbyte(c); }

  private:
    sim::PtyPair pty_;
    Drain drain_;
    Trs232c port_;
};

void bareWrite(benchmark::State& state) {
    BareLine line;
    for (auto _ : state) benchmark::DoNotOptimize(line.send('x'));
}

void txbyte(benchmark::State& state) {
    ComponentLine line;
    line.send('x');  // the first write sizes the buffers
    long bytes = 0;
    startCountingAllocations();
    for (auto _ : state) {
        benchmark::DoNotOptimize(line.send('x'));
        ++bytes;
    }
    const long allocations = stopCountingAllocations();
    state.counters["allocs"] = static_cast<double>(allocations);
    state.counters["bytes"] = static_cast<double>(bytes);
}

template <class Line>
double batch(Line& line, int bytes) {
    const auto t0 = Clock::now();
    for (int i = 0; i < bytes; ++i) line.send('x');
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / bytes;
}

// Keeps the allocations the txbyte run counted and the bytes it sent.
class Collect : public benchmark::ConsoleReporter {
  public:
    double allocs = -1, bytes = 0;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto a = r.counters.find("allocs");
            auto b = r.counters.find("bytes");
            if (a == r.counters.end() || b == r.counters.end()) continue;
            allocs = a->second.value;
            bytes = b->second.value;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("bare write(2)", bareWrite)->MinTime(0.3);
    benchmark::RegisterBenchmark("txbyte", txbyte)->MinTime(0.3);
    benchmark::Initialize(&argc, argv);
    Collect collect;
    benchmark::RunSpecifiedBenchmarks(&collect);

    try {
        BareLine bare;
        ComponentLine component;
        bench::Table table("per byte on a pty, median of paired batches");
        // Short batches, as a command goes out, and long ones, a steady stream.
        for (int bytes : {32, 2000}) {
            const int pairs = 256000 / bytes;
            std::vector<double> bareUs, txUs, ratios;
            for (int i = 0; i < pairs; ++i) {
                // Which goes first alternates, so that neither always follows the other.
                double b, t;
                if (i % 2) {
                    b = batch(bare, bytes);
                    t = batch(component, bytes);
                } else {
                    t = batch(component, bytes);
                    b = batch(bare, bytes);
                }
                bareUs.push_back(b);
                txUs.push_back(t);
                ratios.push_back(t / b);
            }
            table.row("txbyte vs bare write(2), " + std::to_string(pairs) + " x " +
                          std::to_string(bytes) + " bytes",
                      bench::us(bench::median(bareUs)), bench::us(bench::median(txUs)),
                      bench::ratio(bench::median(ratios)), "<= 1.3x");
        }
        // One may come when the far end falls behind and a write must wait: the room for
        // its rest is made once and kept.
        table.row("heap allocations by txbyte", "0",
                  bench::number(collect.allocs) + " in " + bench::number(collect.bytes) + " bytes",
                  "", "0 per byte");
        table.print();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "txbyte bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
