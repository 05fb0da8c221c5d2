// The scenario table against the in-memory window and the platform's own serial backend.
// The strip is held in memory too, doing what a front end's strip does with the core.
#include "tests/scenarios/scenarios.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/cp932.h"
#include "core/errors.h"
#include "core/handlergate.h"
#include "core/memorywindow.h"
#include "core/receivercontrol.h"

using namespace scenarios;

namespace {

class MemoryFrontEnd : public FrontEnd {
  public:
    MemoryFrontEnd() { port_.txtimeout = port_.rxtimeout = 2000; }

    void start(const std::string& folder, const std::optional<std::string>& argument) override {
        port_.close();
        window_ = std::make_unique<kivo::MemoryWindow>();
        control_ = std::make_unique<kivo::ReceiverControl>(port_, *window_);
        window_->control = control_.get();
        showing_ = Showing::Main;
        stripText_.clear();
        stripNames_.clear();
        handle([&] {
            control_->channelFilePath = folder + "/KIVO.ini";
            control_->loadAtStartup();
            kivo::scanPorts(port_);
            window_->compact = false;
            if (argument) control_->startWithChannel(*argument);
        });
    }

    void click(Button button) override {
        handle([&] {
            kivo::ReceiverControl& c = *control_;
            kivo::MemoryWindow& w = *window_;
            switch (button) {
                case Button::Power:
                    c.Button2Click();
                    break;
                case Button::Am:
                    w.checkAm();
                    break;
                case Button::Fm:
                    w.checkFm();
                    break;
                case Button::Add:
                    c.Button1Click();
                    break;
                case Button::Delete:
                    c.Button3Click();
                    break;
                case Button::Up:
                    c.Button6Click();
                    break;
                case Button::Down:
                    c.Button7Click();
                    break;
                case Button::Reload:
                    c.Button4Click();
                    break;
                case Button::Save:
                    c.Button5Click();
                    break;
                case Button::SMode:
                    enterSMode();
                    break;
                case Button::StripPower:
                    if (!w.port.empty()) c.Button2Click();
                    break;
                case Button::StripBack:
                    w.compact = false;
                    showing_ = Showing::Main;
                    break;
            }
        });
    }
    void answerConfirmations(bool yes) override { window_->confirmAnswer = yes; }

    void type(Field field, const std::string& text) override {
        // One character (a whole UTF-8 sequence) at a time.
        for (std::size_t i = 0; i < text.size();) {
            std::size_t n = 1;
            while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
                ++n;
            setText(field, text_(field) + text.substr(i, n));
            i += n;
        }
    }
    void erase(Field field) override {
        std::string text = text_(field);
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (!text.empty()) text.pop_back();
        setText(field, text);
    }
    void clear(Field field) override { setText(field, ""); }
    void paste(Field field, const std::string& text) override { setText(field, text); }

    void slide(int position) override {
        handle([&] { window_->setVolumePosition(position); });
    }
    void slideStrip(int position) override {
        handle([&] { window_->setCompactVolumePosition(position); });
    }
    void selectLine(int row) override {
        if (row == window_->list.selectedIndex()) return;  // a click changes nothing then
        window_->list.setSelectedIndex(row);
        handle([&] { control_->ListBox1DblClick(); });
    }
    void doubleClickLine(int row) override {
        selectLine(row);
        handle([&] { control_->ListBox1DblClick(); });
    }
    void chooseInStrip(int row) override {
        stripText_ = stripNames_.at(static_cast<std::size_t>(row));
        chosen(row);
    }
    void tick() override {
        handle([&] { control_->Timer1Timer(); });
    }
    void closeMain() override {
        handle([&] { control_->FormClose(); });
        showing_ = Showing::Nothing;
    }
    void closeStrip() override { closeMain(); }

    Window shown() override {
        const kivo::MemoryWindow& w = *window_;
        Lines lines;
        for (const std::string& line : w.list.lines()) lines.push_back(kivo::cp932ToUtf8(line));
        return {.power = w.power,
                .portText = w.port,
                .portEnabled = w.portOn,
                .timer = w.timer,
                .frequency = w.frequency,
                .band = w.am   ? Band::Am
                        : w.fm ? Band::Fm
                               : Band::None,
                .name = w.name,
                .volume = w.volume,
                .volumeLabel = w.volumeLabel,
                .lines = lines,
                .selected = w.list.selectedIndex(),
                .showing = showing_,
                .stripPower = w.power == kivo::kPowerOn ? "|" : "○",
                .stripText = stripText_,
                .stripNames = stripNames_,
                .stripVolume = w.compactVolume};
    }
    Trs232c& component() override { return port_; }
    std::string channelFilePath() override { return control_->channelFilePath; }
    Lines takeMessages() override { return std::exchange(window_->messages, {}); }
    Lines takeErrors() override { return std::exchange(errors_, {}); }
    Lines takeQuestions() override { return std::exchange(window_->questions, {}); }

  private:
    template <class Handler>
    void handle(Handler&& handler) {
        gate_.run(std::forward<Handler>(handler));
    }

    std::string text_(Field field) const {
        switch (field) {
            case Field::Port:
                return window_->port;
            case Field::Frequency:
                return window_->frequency;
            case Field::Name:
                return window_->name;
            case Field::StripChooser:
                return stripText_;
        }
        return {};
    }
    // A change of the text as the user makes it, with the handler its control runs.
    void setText(Field field, const std::string& text) {
        handle([&] {
            switch (field) {
                case Field::Port:
                    window_->port = text;
                    control_->ComboBox1Change();
                    break;
                case Field::Frequency:
                    window_->setFrequencyText(text);
                    break;
                case Field::Name:
                    window_->setNameText(text);
                    break;
                case Field::StripChooser:
                    stripText_ = text;
                    chosen(-1);
                    break;
            }
        });
    }

    // The strip takes the main window's place with its slider, power and channel names;
    // the chooser keeps its text unless a line is selected.
    void enterSMode() {
        kivo::MemoryWindow& w = *window_;
        w.compact = true;
        showing_ = Showing::Strip;
        w.setCompactVolumePosition(w.volume);
        stripNames_.clear();
        const kivo::ChannelNames names = w.list.names();
        for (int i = 0; i < names.count(); ++i) stripNames_.push_back(kivo::cp932ToUtf8(names[i]));
        const int selected = w.list.selectedIndex();
        if (selected >= 0 && selected < names.count())
            stripText_ = stripNames_[static_cast<std::size_t>(selected)];
    }
    // The strip's chooser changed: the line it names (`row`, or the first whose name is
    // its text) is selected and the channel selection runs.
    void chosen(int row) {
        if (row < 0) {
            auto found = std::find(stripNames_.begin(), stripNames_.end(), stripText_);
            row = found == stripNames_.end() ? -1 : static_cast<int>(found - stripNames_.begin());
        }
        window_->list.setSelectedIndex(row);
        handle([&] { control_->ListBox1DblClick(); });
    }

    Lines errors_;
    kivo::HandlerGate gate_{
        [this](std::exception_ptr e) { errors_.push_back(kivo::errorDialogText(e)); }};
    Trs232c port_;
    std::unique_ptr<kivo::MemoryWindow> window_;
    std::unique_ptr<kivo::ReceiverControl> control_;
    Showing showing_ = Showing::Main;
    std::string stripText_;
    Lines stripNames_;
};

class MemoryScenarios : public testing::TestWithParam<Scenario> {};

TEST_P(MemoryScenarios, Pass) {
    MemoryFrontEnd frontEnd;
    run(GetParam(), frontEnd);
}

INSTANTIATE_TEST_SUITE_P(Table, MemoryScenarios, testing::ValuesIn(all()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return info.param.name;
                         });

}  // namespace
