// The window state the receiver operations read and write. The main window implements
// it (MemoryWindow is a plain in-memory one). All texts are UTF-8; the channel list
// holds CP932 lines.
//
// Change notifications: an implementation must run the handlers of its ReceiverControl
// synchronously, during the assignment, exactly as the real controls do:
//  - setFrequencyText: Edit1Change once when the new text differs from the old one;
//  - checkAm / checkFm: when that button was not checked, uncheck the other and run
//    Edit1Change once; checking the button already checked runs nothing;
//  - setVolumePosition: clamp to 0..255; ScrollBar1Change once when the clamped value
//    differs from the current position;
//  - setCompactVolumePosition: the same for the compact window's slider, whose handler
//    then sets this window's slider (setVolumePosition);
//  - every other setter (captions, port text, enabled, timer, selection) runs nothing.
#pragma once

#include <string>

#include "core/channels.h"

namespace kivo {

class ReceiverWindow {
  public:
    virtual ~ReceiverWindow() = default;

    // Label1: the power state, "OFF" or "ON".
    virtual std::string powerCaption() const = 0;
    virtual void setPowerCaption(const std::string& caption) = 0;

    // ComboBox1: the port chooser.
    virtual std::string portText() const = 0;
    virtual void setPortText(const std::string& text) = 0;
    virtual bool portEnabled() const = 0;
    virtual void setPortEnabled(bool enabled) = 0;

    // Edit1: the frequency field.
    virtual std::string frequencyText() const = 0;
    virtual void setFrequencyText(const std::string& text) = 0;

    // RadioButton1 (AM) and RadioButton2 (FM); neither is checked at first.
    virtual bool amChecked() const = 0;
    virtual bool fmChecked() const = 0;
    virtual void checkAm() = 0;
    virtual void checkFm() = 0;

    // Edit2: the channel name field.
    virtual std::string nameText() const = 0;
    virtual void setNameText(const std::string& text) = 0;

    // ScrollBar1: the volume slider, 0..255.
    virtual int volumePosition() const = 0;
    virtual void setVolumePosition(int position) = 0;

    // Label2: the volume shown in decimal.
    virtual void setVolumeLabel(const std::string& text) = 0;

    // Timer1: the periodic tick, running while on.
    virtual bool timerEnabled() const = 0;
    virtual void setTimerEnabled(bool enabled) = 0;

    // True while the compact window shows; its slider then gives the volume.
    virtual bool smode() const = 0;
    virtual int compactVolumePosition() const = 0;
    virtual void setCompactVolumePosition(int position) = 0;

    // ListBox1: the channel lines and the selected one.
    virtual ChannelList& channels() = 0;

    // Why the receiver could not be switched on (or driven) as asked, shown without a box
    // beside the power button while it stands; empty takes it away.
    virtual void setPowerNotice(const std::string& text) = 0;

    // A plain message box with OK (the application title as caption).
    virtual void showMessage(const std::string& text) = 0;
    // A Yes/No confirmation; true for Yes.
    virtual bool confirm(const std::string& text) = 0;
};

}  // namespace kivo
