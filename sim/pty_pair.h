// A pseudo-terminal pair in raw mode. The simulator plays the receiver on the master; the
// slave is the port the program opens. The slave is also held open here, so the line stays
// configured and usable while the program closes and reopens its port.
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
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace sim
