// The test run's turn at its serial ports (the COM pairs and the unpluggable port): one
// named mutex for all of them, held for the object's life, which the thread holding it
// may take again. The run's test programs take the ports one after another.
#pragma once

namespace testenv {

class PortTurn {
  public:
    PortTurn();  // waits for the turn; throws when the ports stay taken
    ~PortTurn();
    PortTurn(const PortTurn&) = delete;
    PortTurn& operator=(const PortTurn&) = delete;

  private:
    void* mutex_;
};

}  // namespace testenv
