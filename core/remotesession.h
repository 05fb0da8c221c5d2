// One remote-control client's byte stream: cut into lines at LF (a CR before it is the
// protocol's to drop), the commands of each line handed to the protocol one at a time. A
// line longer than kMaxRemoteLine is not kept: it is answered "RPRT -1" as soon as it passes
// the bound and the rest of it, up to its LF, is dropped. Nothing here blocks or waits.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

#include "core/remoteprotocol.h"

namespace kivo {

inline constexpr std::size_t kMaxRemoteLine = 1024;  // bytes before the LF

class RemoteSession {
  public:
    explicit RemoteSession(RemoteProtocol& protocol) : protocol_(protocol) {}

    // Takes bytes as they arrive; they are handled by step(). After "q" nothing more is.
    void receive(std::string_view bytes);
    // A command (or an over-long line) waits for step().
    bool hasLine() const { return !closed_ && (answered_ < current_.size() || !lines_.empty()); }
    // Handles the next waiting command and appends its whole answer to `out`; false when
    // none waits.
    bool step(std::string& out);
    // The client asked to end: its last reply is out, the connection is to be closed.
    bool closed() const { return closed_; }

    // receive() and step() until nothing waits: the replies to `bytes`.
    std::string feed(std::string_view bytes);

  private:
    struct Line {
        std::string text;
        bool overlong = false;
    };

    RemoteProtocol& protocol_;
    RemoteConnection connection_;
    std::deque<Line> lines_;
    std::string current_;       // the line whose commands are being answered
    std::size_t answered_ = 0;  // how much of it
    std::string partial_;
    bool discarding_ = false;  // inside an over-long line, up to its LF
    bool closed_ = false;
};

}  // namespace kivo
