#include "core/remotesession.h"

namespace kivo {

void RemoteSession::receive(std::string_view bytes) {
    while (!closed_ && !bytes.empty()) {
        std::size_t lf = bytes.find('\n');
        std::string_view piece = bytes.substr(0, lf);
        bytes = lf == std::string_view::npos ? std::string_view() : bytes.substr(lf + 1);
        if (!discarding_) {
            partial_.append(piece.substr(0, kMaxRemoteLine + 1 - partial_.size()));
            if (partial_.size() > kMaxRemoteLine) {
                // Answered now, so that a client waiting for it is not held up.
                lines_.push_back({std::string(), true});
                partial_.clear();
                discarding_ = true;
            } else if (lf != std::string_view::npos) {
                lines_.push_back({std::move(partial_), false});
                partial_.clear();
            }
        }
        if (lf != std::string_view::npos) discarding_ = false;
    }
}

bool RemoteSession::step(std::string& out) {
    if (!hasLine()) return false;
    if (answered_ == current_.size()) {
        Line line = std::move(lines_.front());
        lines_.pop_front();
        current_.clear();
        answered_ = 0;
        if (line.overlong) {
            out += remoteStatus(kRemoteInvalid);
            return true;
        }
        current_ = remoteLineText(line.text);
    }
    std::string_view rest = std::string_view(current_).substr(answered_);
    RemoteProtocol::Reply reply = protocol_.handleCommand(rest, connection_);
    answered_ = current_.size() - rest.size();
    out += reply.text;
    if (reply.close) {
        closed_ = true;
        lines_.clear();
        partial_.clear();
    }
    return true;
}

std::string RemoteSession::feed(std::string_view bytes) {
    receive(bytes);
    std::string out;
    while (step(out)) {
    }
    return out;
}

}  // namespace kivo
