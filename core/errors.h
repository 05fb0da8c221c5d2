// Errors raised by the channel list and its file. Each carries the text the user sees
// (UTF-8; a file path inside it as given). No handler catches them: the window's
// central error handler shows errorDialogText(e.what()) and the program goes on.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

#include "serial/openfailure.h"

namespace kivo {

class KivoError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The channel file could not be opened for reading: "ファイル %s は開けません".
class FileOpenError : public KivoError {
  public:
    explicit FileOpenError(const std::string& path);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The channel file could not be written: "ファイル %s を作成できません".
class FileCreateError : public KivoError {
  public:
    explicit FileCreateError(const std::string& path);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A field or line index a list does not have: "リストのインデックスが範囲を超えています (%d)".
class ListIndexError : public KivoError {
  public:
    explicit ListIndexError(int index);
    int index() const { return index_; }

  private:
    int index_;
};

// The text the standard error dialog shows for `message`: "." is appended when the
// last byte, taken as unsigned, is above "." (so after any Japanese character).
std::string errorDialogText(const std::string& message);

// The same for an error that escaped a handler, whatever its type.
std::string errorDialogText(std::exception_ptr error);

// Shown when switching on fails to open the port; the receiver stays off. With the
// backend's account of the failure, its reason follows on a line of its own.
std::string openErrorMessage(const std::string& portname);
std::string openErrorMessage(const std::string& portname, const comm::OpenFailure& why);

// Shown beside the power button while the line to the receiver is lost ("ON" stays): KIVO
// waits for the port to come back. With the reason the port did not open again when it
// was there (another program holds it, say); a device that is simply not there yet adds
// nothing.
inline constexpr const char* kLineLostMessage = "受信機との回線が切れました。再接続を待っています";
std::string lineLostMessage(const comm::OpenFailure& why);

// The reason line: what stands in the way and what the user can do about it; empty when
// the backend does not say.
std::string openFailureReason(const comm::OpenFailure& why);

}  // namespace kivo
