// Errors raised by the channel list and its file, and the other messages about failures.
// Each error carries the text the user sees, in the user's language (UTF-8; a file path
// inside it as given). No handler catches them: the window's central error handler shows
// errorDialogText(e.what()) and the program goes on.
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

// The channel file could not be opened for reading (Msg::FileOpenError).
class FileOpenError : public KivoError {
  public:
    explicit FileOpenError(const std::string& path);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The channel file could not be written (Msg::FileCreateError).
class FileCreateError : public KivoError {
  public:
    explicit FileCreateError(const std::string& path);
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A field or line index a list does not have (Msg::ListIndexError).
class ListIndexError : public KivoError {
  public:
    explicit ListIndexError(int index);
    int index() const { return index_; }

  private:
    int index_;
};

// The text the standard error dialog shows for `message`: "." is appended when the
// last byte, taken as unsigned, is above "." (so after any letter or Japanese character).
std::string errorDialogText(const std::string& message);

// The same for an error that escaped a handler, whatever its type.
std::string errorDialogText(std::exception_ptr error);

// Shown when switching on fails to open the port; the receiver stays off. With the
// backend's account of the failure, its reason follows on a line of its own.
std::string openErrorMessage(const std::string& portname);
std::string openErrorMessage(const std::string& portname, const comm::OpenFailure& why);

// The Save confirmation's caption and buttons, Yes first.
std::string confirmCaption();
std::string yesButton();
std::string noButton();

// A later start asked the running copy to close, and it did not end in time.
std::string runningCopyNotClosedMessage(const std::string& title);

// Refusal texts for Add when a field cannot be stored in the channel file.
std::string unstorableNameMessage();
std::string unstorableFrequencyMessage();
std::string unstorablePortMessage();

// The serial component's own reports (shown when its `debug` is set) are its Japanese
// texts: this is the user's language for one of them; any other text is kept.
std::string componentMessage(const std::string& text);

// Shown beside the power button while the line to the receiver is lost ("ON" stays): KIVO
// waits for the port to come back. With the reason the port did not open again when it
// was there (another program holds it, say); a device that is simply not there yet adds
// nothing.
std::string lineLostMessage();
std::string lineLostMessage(const comm::OpenFailure& why);

// The reason line: what stands in the way and what the user can do about it; empty when
// the backend does not say.
std::string openFailureReason(const comm::OpenFailure& why);

}  // namespace kivo
