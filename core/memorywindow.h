// A window held in memory: the state of ReceiverWindow in plain fields, with the same
// change notifications as the real controls. For running the receiver operations
// without a display (tests, tools).
#pragma once

#include <string>
#include <vector>

#include "core/receivercontrol.h"
#include "core/receiverwindow.h"

namespace kivo {

class MemoryWindow : public ReceiverWindow {
  public:
    // The handlers that the change notifications run; set before use.
    ReceiverControl* control = nullptr;

    std::string power = "OFF";
    std::string port;
    bool portOn = true;
    std::string frequency;
    bool am = false;
    bool fm = false;
    std::string name;
    int volume = 80;
    std::string volumeLabel = "80";
    bool timer = false;
    bool compact = false;
    int compactVolume = 0;
    ChannelList list;
    std::string powerNotice;
    std::vector<std::string> messages;   // every message box shown, in order
    bool confirmAnswer = true;           // the answer to confirm()
    std::vector<std::string> questions;  // every confirmation asked

    std::string powerCaption() const override { return power; }
    void setPowerCaption(const std::string& caption) override { power = caption; }
    std::string portText() const override { return port; }
    void setPortText(const std::string& text) override { port = text; }
    bool portEnabled() const override { return portOn; }
    void setPortEnabled(bool enabled) override { portOn = enabled; }
    std::string frequencyText() const override { return frequency; }
    void setFrequencyText(const std::string& text) override;
    bool amChecked() const override { return am; }
    bool fmChecked() const override { return fm; }
    void checkAm() override;
    void checkFm() override;
    std::string nameText() const override { return name; }
    void setNameText(const std::string& text) override { name = text; }
    int volumePosition() const override { return volume; }
    void setVolumePosition(int position) override;
    void setVolumeLabel(const std::string& text) override { volumeLabel = text; }
    bool timerEnabled() const override { return timer; }
    void setTimerEnabled(bool enabled) override { timer = enabled; }
    bool smode() const override { return compact; }
    int compactVolumePosition() const override { return compactVolume; }
    void setCompactVolumePosition(int position) override;
    ChannelList& channels() override { return list; }
    void setPowerNotice(const std::string& text) override { powerNotice = text; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool confirm(const std::string& text) override;
};

}  // namespace kivo
