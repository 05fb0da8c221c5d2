// Another program holding a pseudo-terminal's slave open the way a terminal program
// would: cooked mode with echo, and a line waiting in its input. state() reads all of that
// back, so a test can tell whether anyone changed it.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <ostream>
#include <string>

namespace testenv {

class Pty;

class HeldTerminal {
  public:
    explicit HeldTerminal(Pty& pty);  // spawns `sleep` with the slave as its input
    ~HeldTerminal();                  // kills and reaps it
    HeldTerminal(const HeldTerminal&) = delete;
    HeldTerminal& operator=(const HeldTerminal&) = delete;

    pid_t pid() const { return pid_; }

    struct State {
        tcflag_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
        std::string cc;
        speed_t ispeed = 0, ospeed = 0;
        int waiting = -1;  // bytes in the input queue
        int modem = -1;    // modem lines, -1 where the device has none
        bool operator==(const State&) const = default;
        friend void PrintTo(const State& s, std::ostream* out) {
            *out << std::hex << "iflag " << s.iflag << " oflag " << s.oflag << " cflag " << s.cflag
                 << " lflag " << s.lflag << std::dec << " speed " << s.ispeed << "/" << s.ospeed
                 << " waiting " << s.waiting << " modem " << s.modem;
        }
    };
    State state() const;

  private:
    std::string path_;
    pid_t pid_ = -1;
};

// A process that has ended: its pid names no live process (until reused).
pid_t deadPid();

}  // namespace testenv
