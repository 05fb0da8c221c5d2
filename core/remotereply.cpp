#include "core/remotereply.h"

#include "core/remoteprotocol.h"

namespace kivo {

std::string formatRemoteAnswer(const RemoteRequest& request, const RemoteAnswer& answer) {
    const RemoteCommandInfo* info = request.info;
    const bool ok = answer.status == kRemoteOk;
    if (!info) return remoteStatus(answer.status);

    if (!request.separator) {
        if (!ok || answer.values.empty()) return remoteStatus(answer.status);
        std::string out;
        for (const std::string& value : answer.values) out += value + "\n";
        if (info->statusAlways) out += remoteStatus(kRemoteOk);
        return out;
    }

    // Its key and value only: clients read it as the one line it is in the plain form.
    if (info->command == RemoteCommand::ChkVfo && ok && !answer.values.empty())
        return std::string(info->keys[0]) + ": " + answer.values[0] + "\n";

    std::string out(info->name);
    out += ':';
    if (!request.vfo.empty()) (out += ' ') += request.vfo;
    for (std::size_t i = 0; i < request.argCount; ++i) (out += ' ') += request.args[i];
    if (ok) {
        for (std::size_t i = 0; i < answer.values.size(); ++i) {
            out += request.separator;
            if (i < info->keys.size() && !info->keys[i].empty()) (out += info->keys[i]) += ": ";
            out += answer.values[i];
        }
    }
    out += request.separator;
    out += remoteStatus(answer.status);  // ends in the LF that ends the answer
    return out;
}

}  // namespace kivo
