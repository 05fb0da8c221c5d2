#include "core/errors.h"

#include <cstdio>
#include <cstring>

namespace kivo {

FileOpenError::FileOpenError(const std::string& path)
    : KivoError("ファイル " + path + " は開けません"), path_(path) {}

FileCreateError::FileCreateError(const std::string& path)
    : KivoError("ファイル " + path + " を作成できません"), path_(path) {}

ListIndexError::ListIndexError(int index)
    : KivoError("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")"),
      index_(index) {}

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
        return errorDialogText("unknown error");
    }
}

std::string openErrorMessage(const std::string& portname) {
    return "回線オープンエラー\n" + portname;
}

std::string openErrorMessage(const std::string& portname, const comm::OpenFailure& why) {
    std::string reason = openFailureReason(why);
    return openErrorMessage(portname) + (reason.empty() ? "" : "\n" + reason);
}

std::string lineLostMessage(const comm::OpenFailure& why) {
    std::string reason;
    if (why.kind != comm::OpenFailure::Kind::Missing) reason = openFailureReason(why);
    return kLineLostMessage + (reason.empty() ? "" : "\n" + reason);
}

std::string openFailureReason(const comm::OpenFailure& why) {
    using Kind = comm::OpenFailure::Kind;
    const std::string& device = why.device;
    switch (why.kind) {
        case Kind::Missing:
            return "デバイス " + device +
                   " がありません（つながっているシリアルデバイスは kivo --list-ports "
                   "で分かります）";
        case Kind::NotTerminal:
            return device + " はシリアルデバイスではありません";
        case Kind::InUse: {
            std::string who;
            if (why.holderPid > 0)
                who = (why.holder.empty() ? "" : why.holder + " ") + "(pid " +
                      std::to_string(why.holderPid) +
                      (why.lockFile.empty() ? "" : "、ロックファイル " + why.lockFile) + ")";
            else if (!why.lockFile.empty())
                who = "(ロックファイル " + why.lockFile + ")";
            return device + " は他のプログラムが使用中です" + (who.empty() ? "" : ": " + who);
        }
        case Kind::Denied: {
            // Serial devices are usually open to one group (dialout): joining it is the fix.
            if (why.groupMayOpen())
                return device + " を開く権限がありません。グループ " + why.group +
                       " のユーザーだけが開けます: sudo usermod -aG " + why.group +
                       " $USER でグループに加わり、ログインし直してください";
            if (why.owner.empty()) return device + " を開く権限がありません";
            char mode[16];
            std::snprintf(mode, sizeof mode, "%04o", why.mode & 07777);
            return device + " を開く権限がありません（所有者 " + why.owner + "、グループ " +
                   why.group + "、モード " + mode + "）";
        }
        case Kind::Other:
            return device + " を開けません: " + std::strerror(why.systemError);
        case Kind::StaleLock:
            return device + " を開けません: 終了したプロセス" +
                   (why.holderPid > 0 ? " (pid " + std::to_string(why.holderPid) + ") " : "") +
                   "のロックファイル " + why.lockFile +
                   (why.owner.empty() ? " " : "（所有者 " + why.owner + "）") +
                   "が残っていて、このユーザーには削除できません";
        case Kind::Unknown:
        case Kind::None:
            break;
    }
    return {};
}

}  // namespace kivo
