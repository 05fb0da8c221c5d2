// The acceptance table of a front end: scenarios of steps a user takes, each with the exact
// bytes the receiver gets meanwhile and what the window shows afterwards. It runs against
// every front end through a small driver (FrontEnd) that the front end's tests implement;
// the runner plays the receiver on a serial line and keeps the program's folder.
//
// Texts are UTF-8. In a scenario's texts "{port}" stands for the receiver's port name,
// "{file}" for the channel file's path, and "{missing COMn}" for what switching on says
// when COMn has nothing behind it.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

class Trs232c;

namespace scenarios {

using Lines = std::vector<std::string>;

enum class Band { None, Am, Fm };
enum class Showing { Main, Strip, Nothing };

// The texts a user edits.
enum class Field { Port, Frequency, Name, StripChooser };

// What a user clicks: the main window's buttons (POWER, the band buttons, Add, Delete, UP,
// Down, Reload, Save, S mode) and the strip's (its power button and "F").
enum class Button {
    Power,
    Am,
    Fm,
    Add,
    Delete,
    Up,
    Down,
    Reload,
    Save,
    SMode,
    StripPower,
    StripBack
};

// What the front end shows, read back after a step; in an expectation, a field left empty
// is not looked at.
struct Window {
    std::optional<std::string> power{};  // Label1
    std::optional<std::string> portText{};
    std::optional<bool> portEnabled{};
    std::optional<bool> timer{};
    std::optional<std::string> frequency{};
    std::optional<Band> band{};
    std::optional<std::string> name{};
    std::optional<int> volume{};  // the main slider
    std::optional<std::string> volumeLabel{};
    std::optional<Lines> lines{};   // the channel list as shown
    std::optional<int> selected{};  // its selected line, -1 for none
    std::optional<Showing> showing{};
    std::optional<std::string> stripPower{};  // the strip's power button: "|" on, "○" off
    std::optional<std::string> stripText{};   // the strip's chooser
    std::optional<Lines> stripNames{};
    std::optional<int> stripVolume{};
    // Of the serial component and the disk, filled in by the runner.
    std::optional<std::string> portname{};
    std::optional<bool> open{};
    std::optional<int> waiting{};       // bytes received and not yet read
    std::optional<std::string> file{};  // the channel file's text
};

// A front end as its user drives it. Each call returns once what it caused is done.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;

    // Starts the program anew (any running one is gone without its closing sequence):
    // the channel file KIVO.ini in `folder`, the command line's channel if any.
    virtual void start(const std::string& folder, const std::optional<std::string>& argument) = 0;
    virtual void click(Button button) = 0;
    virtual void answerConfirmations(bool yes) = 0;  // how the next boxes asking are answered
    // Typing adds one character at a time at the end; erasing takes the last one away;
    // clearing selects the whole text and deletes it; pasting replaces it at once.
    virtual void type(Field field, const std::string& text) = 0;
    virtual void erase(Field field) = 0;
    virtual void clear(Field field) = 0;
    virtual void paste(Field field, const std::string& text) = 0;
    virtual void slide(int position) = 0;       // the main slider, dragged there
    virtual void slideStrip(int position) = 0;  // the strip's
    virtual void selectLine(int row) = 0;       // a click on the line
    virtual void doubleClickLine(int row) = 0;
    virtual void chooseInStrip(int row) = 0;  // picked from the strip chooser's list
    virtual void tick() = 0;                  // the periodic timer's interval passes
    virtual void closeMain() = 0;             // the close box
    virtual void closeStrip() = 0;

    virtual bool editsHoldNul() const { return true; }
    virtual Window shown() = 0;  // every field but those the runner fills
    virtual Trs232c& component() = 0;
    virtual std::string channelFilePath() = 0;
    // The boxes shown since the last call: messages, standard error dialogs, questions.
    virtual Lines takeMessages() = 0;
    virtual Lines takeErrors() = 0;
    virtual Lines takeQuestions() = 0;
};

// One step: what the user (or the receiver, or the disk) does, what the receiver gets
// meanwhile, the boxes that show, and what the window shows afterwards. Built as
// `click(Button::Power).sends(...).shows({...})`.
struct Step {
    enum class Kind {
        Start,
        Click,
        Type,
        Erase,
        Clear,
        Paste,
        Slide,
        SlideStrip,
        Select,
        DoubleClick,
        Choose,
        Tick,
        CloseMain,
        CloseStrip,
        Reply,       // the receiver answers `text`
        RemoveFile,  // the channel file goes
        BlockFile,   // a folder stands where the channel file would be written
        WriteFile,   // the channel file is written with `lines` (as the start-up one)
    };
    Kind kind{};
    std::optional<std::string> text{};
    int number = 0;
    Button button = Button::Power;
    Field field = Field::Name;
    Lines lines{};

    std::string sent{};  // exactly this reaches the receiver, "" for nothing
    Lines messages{}, errors{}, questions{};
    Window after{};

    Step sends(std::string bytes) && {
        sent = std::move(bytes);
        return std::move(*this);
    }
    Step shows(Window window) && {
        after = std::move(window);
        return std::move(*this);
    }
    Step says(Lines texts) && {
        messages = std::move(texts);
        return std::move(*this);
    }
    Step fails(Lines texts) && {
        errors = std::move(texts);
        return std::move(*this);
    }
    Step asks(Lines texts) && {
        questions = std::move(texts);
        return std::move(*this);
    }
};

struct Scenario {
    std::string name;
    std::optional<Lines> file{};  // the channel file at start-up; none: there is none
    std::string port;             // the receiver's port name; "": the platform's first line
    std::vector<Step> steps;
    bool nul = false;  // its texts hold a NUL, which only some front ends' edits can
};

// GoogleTest names a scenario by its name.
inline void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

// The table.
const std::vector<Scenario>& all();

// Runs `scenario` against `frontEnd`, reporting each difference through GoogleTest.
void run(const Scenario& scenario, FrontEnd& frontEnd);

}  // namespace scenarios
