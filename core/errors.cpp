#include "errors.h"

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

std::string openErrorMessage(const std::string& portname) {
    return "回線オープンエラー\n" + portname;
}

}  // namespace kivo
