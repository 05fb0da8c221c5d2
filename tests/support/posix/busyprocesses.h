// A machine made busy for the port checks: processes that each hold many descriptors open
// and sleep, as a desktop's hundreds of processes do. They cost no CPU; only a pass over
// every process's descriptors feels them.
#pragma once

#include <sys/types.h>

#include <vector>

namespace testenv {

class BusyProcesses {
  public:
    // A busy desktop as measured: 400 processes of 50 descriptors each.
    static constexpr int kCount = 400;
    static constexpr int kDescriptors = 50;

    // Starts `count` processes holding `descriptors` open each; returns once all hold them.
    explicit BusyProcesses(int count = kCount, int descriptors = kDescriptors);
    ~BusyProcesses();  // ends and reaps them
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

  private:
    void settle();
    void end();

    std::vector<pid_t> pids_;
};

}  // namespace testenv
