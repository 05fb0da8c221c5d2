#include "core/errors.h"

#include <cstdio>
#include <cstring>

#include "core/messages.h"

namespace kivo {

FileOpenError::FileOpenError(const std::string& path)
    : KivoError(message(Msg::FileOpenError, {{"path", path}})), path_(path) {}

FileCreateError::FileCreateError(const std::string& path)
    : KivoError(message(Msg::FileCreateError, {{"path", path}})), path_(path) {}

ListIndexError::ListIndexError(int index)
    : KivoError(message(Msg::ListIndexError, {{"index", std::to_string(index)}})), index_(index) {}

std::string errorDialogText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

std::string errorDialogText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return errorDialogText(e.what());
    } catch (...) {
        return errorDialogText(message(Msg::UnknownError));
    }
}

std::string confirmCaption() {
    return message(Msg::ConfirmCaption);
}
std::string yesButton() {
    return message(Msg::ConfirmYes);
}
std::string noButton() {
    return message(Msg::ConfirmNo);
}

std::string runningCopyNotClosedMessage(const std::string& title) {
    return message(Msg::RunningCopyNotClosed, {{"title", title}});
}

std::string unstorableNameMessage() {
    return message(Msg::UnstorableNameMessage);
}
std::string unstorableFrequencyMessage() {
    return message(Msg::UnstorableFrequencyMessage);
}
std::string unstorablePortMessage() {
    return message(Msg::UnstorablePortMessage);
}

std::string componentMessage(const std::string& text) {
    // The component's texts are the Japanese catalogue's for these messages.
    for (Msg id : {Msg::ComponentOpenError, Msg::ComponentBufferError, Msg::ComponentSettingsError,
                   Msg::ComponentTimeoutError})
        if (text == messageIn("ja", id)) return message(id);
    return text;
}

std::string openErrorMessage(const std::string& portname) {
    return message(Msg::OpenError, {{"port", portname}});
}

std::string openErrorMessage(const std::string& portname, const comm::OpenFailure& why) {
    std::string reason = openFailureReason(why);
    return openErrorMessage(portname) + (reason.empty() ? "" : "\n" + reason);
}

std::string lineLostMessage() {
    return message(Msg::LineLost);
}

std::string lineLostMessage(const comm::OpenFailure& why) {
    std::string reason;
    if (why.kind != comm::OpenFailure::Kind::Missing) reason = openFailureReason(why);
    return lineLostMessage() + (reason.empty() ? "" : "\n" + reason);
}

std::string openFailureReason(const comm::OpenFailure& why) {
    using Kind = comm::OpenFailure::Kind;
    const std::string& device = why.device;
    const std::string pid = std::to_string(why.holderPid);
    const bool hasPid = why.holderPid > 0;
    switch (why.kind) {
        case Kind::Missing:
            return message(Msg::ReasonMissing, {{"device", device}});
        case Kind::NotTerminal:
            return message(Msg::ReasonNotTerminal, {{"device", device}});
        case Kind::InUse: {
            const bool named = !why.holder.empty();
            const bool locked = !why.lockFile.empty();
            const std::initializer_list<MessageArg> args = {{"device", device},
                                                            {"holder", why.holder},
                                                            {"pid", pid},
                                                            {"lockfile", why.lockFile}};
            if (!hasPid) return message(locked ? Msg::ReasonInUseLock : Msg::ReasonInUse, args);
            if (locked)
                return message(named ? Msg::ReasonInUseHolderPidLock : Msg::ReasonInUsePidLock,
                               args);
            return message(named ? Msg::ReasonInUseHolderPid : Msg::ReasonInUsePid, args);
        }
        case Kind::Denied: {
            // Serial devices are usually open to one group (dialout): joining it is the fix.
            if (why.groupMayOpen())
                return message(Msg::ReasonDeniedGroup, {{"device", device}, {"group", why.group}});
            if (why.owner.empty()) return message(Msg::ReasonDenied, {{"device", device}});
            char mode[16];
            std::snprintf(mode, sizeof mode, "%04o", why.mode & 07777);
            return message(
                Msg::ReasonDeniedOwner,
                {{"device", device}, {"owner", why.owner}, {"group", why.group}, {"mode", mode}});
        }
        case Kind::Other:
            return message(
                Msg::ReasonOther,
                {{"device", device},
                 {"error",
                  why.detail.empty() ? std::string(std::strerror(why.systemError)) : why.detail}});
        case Kind::StaleLock: {
            const bool owned = !why.owner.empty();
            const Msg id = hasPid ? (owned ? Msg::ReasonStaleLockPidOwner : Msg::ReasonStaleLockPid)
                                  : (owned ? Msg::ReasonStaleLockOwner : Msg::ReasonStaleLock);
            return message(id, {{"device", device},
                                {"pid", pid},
                                {"lockfile", why.lockFile},
                                {"owner", why.owner}});
        }
        case Kind::Unknown:
        case Kind::None:
            break;
    }
    return {};
}

}  // namespace kivo
