// The remote-control protocol: the text protocol that radio-control network clients speak
// (commands on lines, several to a line if a client likes; a get answers its values one per
// line, a set answers "RPRT 0", an error answers "RPRT -N"; with a prefix, the extended
// answer). Every command acts on the window as the user's action would, through the
// window's setters and handlers, so the receiver gets exactly the commands and the paced
// sending the window itself produces.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "core/receivercontrol.h"
#include "core/remotecommands.h"
#include "core/remotereply.h"

namespace kivo {

// Status codes of a "RPRT" line.
inline constexpr int kRemoteOk = 0;
inline constexpr int kRemoteInvalid = -1;       // a bad or missing argument
inline constexpr int kRemoteTimeout = -5;       // a command to the receiver was given up
inline constexpr int kRemoteIoError = -6;       // the port did not open, or the line is lost
inline constexpr int kRemoteInternal = -7;      // a handler failed
inline constexpr int kRemoteUnavailable = -11;  // no such command, or not possible now

// "RPRT <code>\n".
std::string remoteStatus(int code);

// Frequencies a client may set, in Hz; below the split is the AM band.
inline constexpr double kRemoteMaxHz = 10e9;
inline constexpr double kRemoteFmFromHz = 30e6;

// What one client's connection has chosen.
struct RemoteConnection {
    bool vfoMode = false;  // the client names a VFO first in every command
};

class RemoteProtocol {
  public:
    explicit RemoteProtocol(ReceiverControl& control) : control_(control) {}

    // An error that escaped a handler: the window shows it, without a box. The reply still
    // goes out.
    std::function<void(std::exception_ptr)> onHandlerError;

    struct Reply {
        std::string text;    // empty only for a blank line
        bool close = false;  // the client asked to end the connection
    };
    // The first command of `rest` (what is left of a line), answered; `rest` moves past it.
    Reply handleCommand(std::string_view& rest, RemoteConnection& connection);
    // Every command of one line without its LF, answered in turn; a trailing CR is dropped.
    Reply handleLine(std::string_view line, RemoteConnection& connection);

  private:
    RemoteAnswer answer(const RemoteRequest& request, RemoteConnection& connection);
    RemoteAnswer run(const RemoteRequest& request, RemoteConnection& connection);
    std::string getFrequency() const;
    int setFrequency(std::string_view hz);
    std::string getMode() const;
    int setMode(std::string_view mode);
    int setVolume(double fraction);
    int visibleVolume() const;
    int setPower(bool on);
    void reportError();

    ReceiverControl& control_;
};

// The frequency field's text for `hz` (whole Hz): kHz in the AM band, MHz from the FM
// split up, without needless zeros: 954000 -> "954", 80700000 -> "80.7".
std::string remoteFrequencyText(unsigned long long hz);
// The same in a given band's unit: kHz for AM, MHz otherwise (954000 -> "0.954" in MHz).
std::string remoteFrequencyText(unsigned long long hz, bool am);

}  // namespace kivo
