// Each remote command run through the window's actions, and what it answers.
#include <charconv>

#include "core/remoteprotocol.h"
#include "kivo_version.h"

namespace kivo {

namespace {

// What clients read from "\dump_state": protocol 1, one VFO, the AM and the broadcast FM
// band, 1 kHz steps, the two fixed passbands and the AF level.
constexpr std::string_view kDumpState =
    "1\n"
    "2\n"
    "0\n"
    "150000.000000 30000000.000000 0x1 -1 -1 0x1 0x0\n"
    "76000000.000000 108000000.000000 0x40 -1 -1 0x1 0x0\n"
    "0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0\n"
    "0x1 1000\n"
    "0x40 1000\n"
    "0 0\n"
    "0x1 9000\n"
    "0x40 200000\n"
    "0 0\n"
    "0\n"
    "0\n"
    "0\n"
    "0\n"
    "\n"
    "\n"
    "0x0\n"
    "0x0\n"
    "0x8\n"
    "0x8\n"
    "0x0\n"
    "0x0\n"
    "vfo_ops=0x0\n"
    "ptt_type=0x0\n"
    "targetable_vfo=0x0\n"
    "has_set_vfo=0\n"
    "has_get_vfo=0\n"
    "timeout=0\n"
    "done\n";

// What "\dump_caps" tells: a receiver with one VFO, tuned, its band chosen, its volume and
// power set and read; nothing of a transmitter.
constexpr std::string_view kDumpCaps =
    "Caps dump for model: 2\n"
    "Model name:\tKIVO\n"
    "Mfg name:\tKIVO\n"
    "Backend version:\t" KIVO_VERSION
    "\n"
    "Rig type:\tReceiver\n"
    "PTT type:\tNone\n"
    "DCD type:\tNone\n"
    "Port type:\tNetwork link\n"
    "Mode list:\tAM FM WFM \n"
    "VFO list:\tVFOA \n"
    "Get level:\tAF \n"
    "Set level:\tAF \n"
    "Can set Frequency:\tY\n"
    "Can get Frequency:\tY\n"
    "Can set Mode:\tY\n"
    "Can get Mode:\tY\n"
    "Can set VFO:\tN\n"
    "Can get VFO:\tY\n"
    "Can set PTT:\tN\n"
    "Can get PTT:\tN\n"
    "Can set Split VFO:\tN\n"
    "Can set Power Stat:\tY\n"
    "Can get Power Stat:\tY\n"
    "Can set Level:\tY\n"
    "Can get Level:\tY\n"
    "Can get Info:\tY\n";

constexpr std::string_view kModes = "AM FM WFM ";

// The values of a multi-line text, one per line.
std::vector<std::string> values(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        out.emplace_back(text.substr(0, lf));
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    }
    return out;
}

// An answer that is its status alone.
RemoteAnswer only(int status) {
    return {{}, status};
}

}  // namespace

RemoteProtocol::Reply RemoteProtocol::handleCommand(std::string_view& rest,
                                                    RemoteConnection& connection) {
    std::optional<RemoteRequest> request = takeRemoteCommand(rest);
    if (!request) return {};
    const bool quit = request->info && request->info->command == RemoteCommand::Quit;
    return {formatRemoteAnswer(*request, answer(*request, connection)), quit};
}

RemoteProtocol::Reply RemoteProtocol::handleLine(std::string_view line,
                                                 RemoteConnection& connection) {
    std::string_view rest = remoteLineText(line);
    Reply all;
    while (!rest.empty() && !all.close) {
        Reply one = handleCommand(rest, connection);
        all.text += one.text;
        all.close = one.close;
    }
    return all;
}

RemoteAnswer RemoteProtocol::answer(const RemoteRequest& request, RemoteConnection& connection) {
    if (!request.info || request.info->command == RemoteCommand::Refused)
        return only(kRemoteUnavailable);
    // KIVO's one VFO answers to any of its names; another VFO is not there.
    if (!request.vfo.empty() && !isOurRemoteVfo(request.vfo)) return only(kRemoteUnavailable);
    const int givenUpBefore = control_.givenUpCommands();
    const int lossesBefore = control_.lineLosses();
    try {
        RemoteAnswer done = run(request, connection);
        // Done, but the line to the receiver lost on the way, or a command to it given up.
        if (done.status == kRemoteOk && control_.lineLosses() != lossesBefore)
            done.status = kRemoteIoError;
        else if (done.status == kRemoteOk && control_.givenUpCommands() != givenUpBefore)
            done.status = kRemoteTimeout;
        return done;
    } catch (...) {
        reportError();
    }
    return only(kRemoteInternal);
}

RemoteAnswer RemoteProtocol::run(const RemoteRequest& request, RemoteConnection& connection) {
    const std::string_view arg0 = request.arg(0);
    switch (request.info->command) {
        case RemoteCommand::GetFreq:
            return {values(getFrequency())};
        case RemoteCommand::SetFreq:
            return only(setFrequency(arg0));
        case RemoteCommand::GetMode:
            return {values(getMode())};
        case RemoteCommand::SetMode:
            if (request.missing) return only(kRemoteInvalid);
            if (arg0 == "?") return {{std::string(kModes)}};
            // The passband is accepted and ignored: each band has its own.
            return only(setMode(arg0));
        case RemoteCommand::GetLevel: {
            // A bare "l" is another protocol's signal level, which KIVO does not have.
            if (request.missing) return only(kRemoteUnavailable);
            if (arg0 != "AF") return only(kRemoteInvalid);
            char buffer[32];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, visibleVolume() / 255.0,
                                        std::chars_format::fixed, 6);
            return {{std::string(buffer, result.ptr)}};
        }
        case RemoteCommand::SetLevel: {
            auto fraction = remoteNumber(request.arg(1));
            if (arg0 != "AF" || !fraction || *fraction < 0 || *fraction > 1)
                return only(kRemoteInvalid);
            return only(setVolume(*fraction));
        }
        case RemoteCommand::GetPowerstat:
            return {{control_.isOn() ? "1" : "0"}};
        case RemoteCommand::SetPowerstat:
            if (arg0 == "1") return only(setPower(true));
            if (arg0 == "0") return only(setPower(false));
            return only(kRemoteInvalid);
        case RemoteCommand::ChkVfo:
            return {{connection.vfoMode ? "1" : "0"}};
        case RemoteCommand::SetVfoOpt:
            if (arg0 != "0" && arg0 != "1") return only(kRemoteInvalid);
            connection.vfoMode = arg0 == "1";
            return only(kRemoteOk);
        case RemoteCommand::DumpState:
            return {values(kDumpState)};
        case RemoteCommand::DumpCaps:
            return {values(kDumpCaps)};
        case RemoteCommand::GetInfo:
            return {{"KIVO " KIVO_VERSION}};
        case RemoteCommand::GetVfoInfo: {
            std::vector<std::string> info = values(getFrequency());
            for (std::string& v : values(getMode())) info.push_back(std::move(v));
            info.insert(info.end(), {"0", "0"});  // no split, no satellite mode
            return {info};
        }
        case RemoteCommand::GetLockMode:
            return {{"0"}};
        case RemoteCommand::GetVfo:
            return {{"VFOA"}};
        case RemoteCommand::SetVfo:
            if (isOurRemoteVfo(arg0)) return only(kRemoteOk);
            return only(isRemoteVfoName(arg0) ? kRemoteUnavailable : kRemoteInvalid);
        case RemoteCommand::GetSplitVfo:
            return {{"0", "VFOA"}};
        case RemoteCommand::GetPtt:
            return {{"0"}};  // a receiver never transmits
        case RemoteCommand::Quit:
            return only(kRemoteOk);
        case RemoteCommand::Refused:
            break;
    }
    return only(kRemoteUnavailable);
}

}  // namespace kivo
