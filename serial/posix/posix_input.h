// Input as a terminal hands it over with PARMRK set: a break arrives as 0xFF 0x00 0x00,
// a byte x received with a framing or parity error as 0xFF 0x00 x, and a real 0xFF
// doubled. A mark may be split across two reads, so the parser keeps its state.
#pragma once

#include <cstddef>
#include <cstdint>

namespace comm::posix {

class MarkedInput {
  public:
    struct Seen {
        bool breaks = false;  // at least one break
        bool errors = false;  // at least one byte marked as received in error
    };

    // Calls deliver(byte, errored) for each data byte of `raw`, in order.
    template <class Deliver>
    Seen feed(const std::uint8_t* raw, std::size_t n, Deliver&& deliver) {
        Seen seen;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t c = raw[i];
            switch (state_) {
                case 0:
                    if (c == 0xFF)
                        state_ = 1;
                    else
                        deliver(c, false);
                    break;
                case 1:
                    state_ = c == 0x00 ? 2 : 0;
                    if (c == 0xFF) deliver(c, false);
                    if (c != 0x00 && c != 0xFF) {  // not a mark after all: keep both
                        deliver(0xFF, false);
                        deliver(c, false);
                    }
                    break;
                default:
                    state_ = 0;
                    if (c == 0x00)
                        seen.breaks = true;
                    else {
                        seen.errors = true;
                        deliver(c, true);
                    }
                    break;
            }
        }
        return seen;
    }

    // Forgets a partial mark (the input was purged).
    void reset() { state_ = 0; }

  private:
    int state_ = 0;  // 0: plain, 1: after 0xFF, 2: after 0xFF 0x00
};

}  // namespace comm::posix
