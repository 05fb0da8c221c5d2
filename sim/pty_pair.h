// A pseudo-terminal in raw mode. The simulator plays the receiver on the master; the slave
// is the port the program opens. Only the master is kept open: a slave held here would be
// another program holding the port. The line settings stay with the pair while the program
// closes and reopens its port; in between, the master sees a hang-up.
#pragma once

#include <string>

namespace sim {

class PtyPair {
  public:
    PtyPair();  // throws SimError
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }  // non-blocking
    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace sim
