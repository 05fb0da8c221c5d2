// The line to the receiver lost and found again. While the receiver is on, the front end
// watches the port's name; a loss closes the port and is shown beside the power button
// ("ON" stays), the periodic tick waits, and the port is opened again once it is there,
// with the same settings and the checks for another holder. The receiver then gets the
// switch-on sequence and the tune and the volume the window shows, paced as every command.
#include "core/errors.h"
#include "core/receivercontrol.h"
#include "core/sending.h"

namespace kivo {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

void ReceiverControl::watchLine() {
    lineState_ = LineState::Up;
    followPort();
}

// Watches the way to the port as it is now (the device open, if one is).
void ReceiverControl::followPort() {
    if (notices_) notices_->watchPort(port_.portname, [this] { portChanged(); });
}

void ReceiverControl::stopWatchingLine() {
    if (lineState_ == LineState::Off) return;
    if (lineLost()) window_.setPowerNotice("");
    lineState_ = LineState::Off;
    if (notices_) {
        notices_->stopWatching();
        notices_->cancelCall();
    }
}

// True when the port, open, has met its device gone: the loss is taken in hand.
bool ReceiverControl::noticeLoss() {
    if (!port_.isOpen() || !port_.lineLost() || lineState_ == LineState::Off) return false;
    loseLine();
    return true;
}

void ReceiverControl::loseLine() {
    ++losses_;
    const bool restoring = lineState_ == LineState::Restoring;
    lineState_ = LineState::Lost;
    line_.close(port_);  // the device's lock and handle go; the broken line stays known
    window_.setTimerEnabled(false);
    window_.setPowerNotice(lineLostMessage());
    if (!notices_) return;
    followPort();  // the device that went is no longer looked after
    // It may be back already, unnoticed. A loss in the middle of a restore waits for the
    // next notice instead: a port that opens and fails again at once is not tried on and on.
    if (!restoring) notices_->callAfter(std::chrono::milliseconds(0), [this] { restoreWhenDue(); });
}

void ReceiverControl::portChanged() {
    if (lineState_ == LineState::Up) {
        port_.txcount();  // asking after the line is how a loss shows
        noticeLoss();
    } else if (lineState_ == LineState::Lost) {
        restoreWhenDue();
    }
}

// A restore now, or once the pause since the last one is over.
void ReceiverControl::restoreWhenDue() {
    if (lineState_ != LineState::Lost || stopping_) return;
    const auto wait =
        lastRestore_ ? *lastRestore_ + kRestorePause - Clock::now() : Clock::duration::zero();
    if (wait > Clock::duration::zero()) {
        if (notices_)
            notices_->callAfter(std::chrono::ceil<std::chrono::milliseconds>(wait),
                                [this] { restoreWhenDue(); });
        return;
    }
    restore();
}

void ReceiverControl::restore() {
    if (!port_.open()) {
        // A port another program holds now is left alone, and the window says so.
        window_.setPowerNotice(lineLostMessage(port_.api().lastOpenFailure()));
        return;
    }
    lastRestore_ = Clock::now();
    lineState_ = LineState::Restoring;
    followPort();  // its new device
    // A loss on the way ends the restore where it stands (send has taken it in hand).
    sendSwitchOn();
    if (lineState_ != LineState::Restoring) return;
    Edit1Change();
    if (lineState_ != LineState::Restoring) return;
    ScrollBar1Change();
    if (lineState_ != LineState::Restoring) return;
    lineState_ = LineState::Up;
    window_.setPowerNotice("");
    window_.setTimerEnabled(true);
}

}  // namespace kivo
