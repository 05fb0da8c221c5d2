// The scenarios every front end must pass.
#include <string>

#include "tests/scenarios/scenarios.h"
#include "tests/support/commands.h"

namespace scenarios {

namespace {

using K = Step::Kind;
using Steps = std::vector<Step>;
using testenv::cmds;
using testenv::kSwitchOn;

Step step(K kind) {
    return Step{.kind = kind};
}
Step start(std::optional<std::string> argument = std::nullopt) {
    Step s = step(K::Start);
    s.text = std::move(argument);
    return s;
}
Step click(Button button) {
    Step s = step(K::Click);
    s.button = button;
    return s;
}
Step save(bool yes) {
    Step s = click(Button::Save);
    s.number = yes;
    return s;
}
Step edit(K kind, Field field, std::string text = {}) {
    Step s = step(kind);
    s.field = field;
    s.text = std::move(text);
    return s;
}
Step type(Field field, std::string text) {
    return edit(K::Type, field, std::move(text));
}
Step erase(Field field) {
    return edit(K::Erase, field);
}
Step clear(Field field) {
    return edit(K::Clear, field);
}
Step paste(Field field, std::string text) {
    return edit(K::Paste, field, std::move(text));
}
Step numbered(K kind, int number) {
    Step s = step(kind);
    s.number = number;
    return s;
}
Step slide(int position) {
    return numbered(K::Slide, position);
}
Step slideStrip(int position) {
    return numbered(K::SlideStrip, position);
}
Step select(int row) {
    return numbered(K::Select, row);
}
Step doubleClick(int row) {
    return numbered(K::DoubleClick, row);
}
Step choose(int row) {
    return numbered(K::Choose, row);
}
Step reply(std::string bytes) {
    Step s = step(K::Reply);
    s.text = std::move(bytes);
    return s;
}
Step writeFile(Lines lines) {
    Step s = step(K::WriteFile);
    s.lines = std::move(lines);
    return s;
}

constexpr Field Port = Field::Port;
constexpr Field Frequency = Field::Frequency;
constexpr Field Name = Field::Name;
constexpr Field StripChooser = Field::StripChooser;
constexpr Showing Main = Showing::Main;
constexpr Showing Strip = Showing::Strip;

const std::string kListIndex2 = "リストのインデックスが範囲を超えています (2)";
const std::string kSaveQuestion = "現在のリストをファイルに上書きしてよいですか？";

// On, by the power button, on the receiver's port.
Steps switchedOn() {
    return {type(Port, "{port}").shows({.portText = "{port}", .portname = "{port}"}),
            click(Button::Power)
                .sends(kSwitchOn)
                .shows({.power = "ON", .portEnabled = false, .timer = true, .open = true})};
}

Steps operator+(Steps a, Steps b) {
    a.insert(a.end(), std::make_move_iterator(b.begin()), std::make_move_iterator(b.end()));
    return a;
}

std::vector<Scenario> table() {
    return {
        {"PowerSwitchesOnAndOffOnlyWithAPortChosen", Lines{}, "",
         Steps{start().shows({.power = "OFF",
                              .portText = "",
                              .portEnabled = true,
                              .timer = false,
                              .lines = Lines{},
                              .selected = -1,
                              .showing = Main}),
               click(Button::Power).shows({.power = "OFF", .open = false})} +
             switchedOn() +
             Steps{click(Button::Power)
                       .sends(cmds({"H100"}))
                       .shows({.power = "OFF", .portEnabled = true, .timer = false, .open = false}),
                   // Closing with the port closed puts nothing on the line.
                   step(K::CloseMain).shows({.showing = Showing::Nothing, .open = false})}},

        {"ClosingWhileOnSwitchesTheReceiverOff", Lines{}, "",
         Steps{start()} + switchedOn() +
             Steps{step(K::CloseMain)
                       .sends(cmds({"H100"}))
                       .shows({.showing = Showing::Nothing, .open = false})}},

        {"APortThatDoesNotOpenIsReportedAndTheReceiverStaysOff",
         Lines{},
         "",
         {start(), type(Port, "COM7"),
          click(Button::Power)
              .says({"{missing COM7}"})
              .shows({.power = "OFF", .portEnabled = true, .timer = false, .open = false}),
          // The strip's power button says what is true after a failed open, and does
          // nothing without a port.
          click(Button::SMode).shows({.showing = Strip, .stripPower = "○"}),
          click(Button::StripPower)
              .says({"{missing COM7}"})
              .shows({.power = "OFF", .stripPower = "○"}),
          clear(Port).shows({.portText = ""}),
          click(Button::StripPower).shows({.power = "OFF", .stripPower = "○"})}},

        {"SelectingALineTunesAndSetsTheVolumeAsOftenAsItsControlsChange",
         Lines{"Test,FM,80.7,120,COM7", "Bad,AM,954,x,{port}", "Loud,AM,954,300,{port}",
               "Hex,AM,954,$10,{port}"},
         "",
         Steps{start(), click(Button::Am).shows({.band = Band::Am})} + switchedOn() +
             Steps{// FM checked with the empty text (nothing), the text set (tune), the
                   // explicit tune, the slider moved (volume), the explicit volume. The
                   // line's port is not used.
                   select(0)
                       .sends(cmds({"K00080700000060400", "K00080700000060400", "J4078", "J4078"}))
                       .shows({.frequency = "80.7",
                               .band = Band::Fm,
                               .name = "Test",
                               .volume = 120,
                               .volumeLabel = "120",
                               .selected = 0,
                               .portname = "{port}"}),
                   // Nothing changes: only the explicit calls send.
                   doubleClick(0).sends(cmds({"K00080700000060400", "J4078"})),
                   // A volume that is no number leaves the slider. Checking AM tunes the old
                   // text in kHz (80.7 rounds to 81), then the new text, then the explicit call.
                   select(1)
                       .sends(
                           cmds({"K00000081000020100", "K00000954000020100", "K00000954000020100"}))
                       .shows({.volume = 120, .selected = 1}),
                   // Only the explicit tune; the volume clamped to 255 and sent twice.
                   select(2)
                       .sends(cmds({"K00000954000020100", "J40FF", "J40FF"}))
                       .shows({.volume = 255, .volumeLabel = "255"}),
                   select(3)
                       .sends(cmds({"K00000954000020100", "J4010", "J4010"}))
                       .shows({.volume = 16}),
                   // The periodic tick sends and throws the receiver's answers away.
                   reply("OK\r\nOK\r\n").shows({.waiting = 8}),
                   step(K::Tick).sends(cmds({"J4101"})).shows({.waiting = 0}),
                   step(K::CloseMain).sends(cmds({"H100"})).shows({.open = false})}},

        {"TypingTunesAtEveryValidTextAndTheBandButtonsRetune", Lines{}, "",
         Steps{start(), click(Button::Am)} + switchedOn() +
             Steps{type(Frequency, "954")
                       .sends(cmds(
                           {"K00000009000020100", "K00000095000020100", "K00000954000020100"})),
                   type(Frequency, " ").shows({.frequency = "954 "}),  // no number: nothing
                   erase(Frequency).sends(cmds({"K00000954000020100"})), type(Frequency, ","),
                   erase(Frequency).sends(cmds({"K00000954000020100"})),
                   click(Button::Am),  // already checked: nothing
                   click(Button::Fm).sends(cmds({"K00954000000060400"})).shows({.band = Band::Fm}),
                   click(Button::Am).sends(cmds({"K00000954000020100"})),
                   clear(Frequency).shows({.frequency = ""}),
                   type(Frequency, ".").sends(cmds({"K00000000000020100"})),
                   click(Button::Fm).sends(cmds({"K00000000000060400"})), click(Button::Fm),
                   slide(10).sends(cmds({"J400A"})).shows({.volume = 10, .volumeLabel = "10"}),
                   slide(10),
                   slide(-5).sends(cmds({"J4000"})).shows({.volume = 0, .volumeLabel = "0"})}},

        {"TheSliderShowsItsValueAlwaysAndSendsOnlyWhileOn", Lines{}, "",
         Steps{start(), slide(81).shows({.volume = 81, .volumeLabel = "81"})} + switchedOn() +
             Steps{slide(80).sends(cmds({"J4050"})).shows({.volumeLabel = "80"}),
                   slide(81).sends(cmds({"J4051"})),
                   slide(255).sends(cmds({"J40FF"})).shows({.volumeLabel = "255"}), slide(255)}},

        {"WhileOffASelectionFillsTheWindowAndSendsNothing",
         Lines{"ラジオ,AM,594,100,{port}"},
         "",
         {start(),
          select(0).shows({.frequency = "594",
                           .band = Band::Am,
                           .name = "ラジオ",
                           .volume = 100,
                           .volumeLabel = "100"}),
          slide(10).shows({.volumeLabel = "10"})}},

        {"AShortLineStopsTheSelectionAtTheFieldItLacks",
         Lines{"Name,AM", "", "Full,FM,80.7,120,{port}"}, "",
         Steps{start()} + switchedOn() +
             Steps{// The band change tunes the empty frequency: nothing.
                   select(0).fails({kListIndex2}).shows({.band = Band::Am, .name = "Name"}),
                   select(1).fails({"リストのインデックスが範囲を超えています (0)"}),
                   select(2)
                       .sends(cmds({"K00080700000060400", "K00080700000060400", "J4078", "J4078"}))
                       .shows({.frequency = "80.7",
                               .band = Band::Fm,
                               .name = "Full",
                               .volume = 120,
                               .volumeLabel = "120"})}},

        {"AChannelOnTheCommandLineSwitchesOnAndTunesIt",
         Lines{"Radio10,AM,594,80,{port}", "Radio1,FM,80.7,120,{port}"},
         "",
         {start(" Radio1 ")
              .sends(cmds({"H101", "J4000", "J4101", "K00080700000060400", "K00080700000060400",
                           "J4078", "J4078"}))
              .shows({.power = "ON",
                      .portText = "{port}",
                      .portEnabled = false,
                      .timer = true,
                      .selected = 1,
                      .showing = Main,
                      .portname = "{port}",
                      .open = true})}},

        {"TheCommandLinePortIsTheWholeComNameOfTheLine",
         Lines{"Radio,AM,594,80,COM12,x"},
         "COM12",
         {start("Radio")
              .sends(cmds(
                  {"H101", "J4000", "J4101", "K00000594000020100", "K00000594000020100", "J4050"}))
              .shows({.power = "ON", .portText = "COM12", .portname = "COM12"})}},

        {"ACommandLineChannelNotFoundOrNotOpeningLeavesTheReceiverOff",
         Lines{"Radio1,AM,594,80,COM4", "NoPort,AM,594,80,", "Other,FM,1,1"},
         "",
         {start("Radio").shows({.power = "OFF", .selected = -1}),
          start("NoPort").shows({.power = "OFF", .selected = -1}),
          start("Other").shows({.power = "OFF", .selected = -1}),  // no ",COM" in its line
          start("Nobody").shows({.power = "OFF", .selected = -1}),
          // Shown, ready for the power button.
          start("Radio1")
              .says({"{missing COM4}"})
              .shows({.power = "OFF",
                      .portText = "COM4",
                      .portEnabled = true,
                      .timer = false,
                      .frequency = "594",
                      .selected = 0})}},

        {"StartingWithoutAChannelFileSaysSoAndOpensWithAnEmptyList",
         std::nullopt,
         "",
         {start()
              .says({"\"KIVO.ini\" ファイルが開けません"})
              .shows({.power = "OFF", .lines = Lines{}, .showing = Main}),
          // The file it looked for is the one Reload reads.
          writeFile({"a,AM,594,80,COM1"}),
          click(Button::Reload).shows({.lines = Lines{"a,AM,594,80,COM1"}, .selected = -1})}},

        {"AddStoresTheLineAsTypedAndOnlyWithANameAndAFrequency",
         Lines{},
         "",
         {start(), type(Name, " My Radio, 2 "),
          click(Button::Add).shows({.lines = Lines{}}),  // no frequency
          click(Button::Am), type(Frequency, "954"), type(Port, "COM1"),
          click(Button::Add).shows({.lines = Lines{"My_Radio__2,AM,954,80,COM1"}, .selected = -1}),
          clear(Name), type(Name, " ＦＭ 横浜, 2 "), click(Button::Fm), clear(Frequency),
          type(Frequency, "84.7"), slide(120),
          click(Button::Add)
              .shows({.lines = Lines{"My_Radio__2,AM,954,80,COM1", "ＦＭ_横浜__2,FM,84.7,120,COM1"},
                      .selected = -1}),
          clear(Frequency), click(Button::Add), clear(Name), type(Frequency, "954"),
          click(Button::Add),
          // A name of blanks is a name; an empty port leaves the line ending in ",".
          type(Name, "   "), click(Button::Am), clear(Port), slide(80),
          click(Button::Add)
              .shows({.lines = Lines{"My_Radio__2,AM,954,80,COM1", "ＦＭ_横浜__2,FM,84.7,120,COM1",
                                     ",AM,954,80,"},
                      .selected = -1})}},

        // A character CP932 lacks, or a line break or NUL (they come from the clipboard),
        // would not come back from the file as stored, or would end it there and lose every
        // later line.
        {"AddRefusesWhatTheChannelFileCannotKeep",
         Lines{"a,AM,594,80,COM1"},
         "",
         {start(), click(Button::Am), type(Port, "COM1"), type(Frequency, "954"),
          type(Name, "Radio €"), click(Button::Add).says({"名前に保存できない文字があります"}),
          paste(Name, "My\nRadio"), click(Button::Add).says({"名前に保存できない文字があります"}),
          paste(Name, "My\r\nRadio"), click(Button::Add).says({"名前に保存できない文字があります"}),
          // At the ends of the name they are trimmed like any blank.
          paste(Name, "Radio\r\n"),
          click(Button::Add).shows({.lines = Lines{"a,AM,594,80,COM1", "Radio,AM,954,80,COM1"}}),
          paste(Frequency, "８４．７€"),
          click(Button::Add).says({"周波数に保存できない文字があります"}),
          paste(Frequency, "95\n4"),
          click(Button::Add).says({"周波数に保存できない文字があります"}), paste(Frequency, "954"),
          save(true).asks({kSaveQuestion}),
          click(Button::Reload)
              .shows({
                  .lines = Lines{"a,AM,594,80,COM1", "Radio,AM,954,80,COM1"},
                  .file = "a,AM,594,80,COM1\r\nRadio,AM,954,80,COM1\r\n",
              })}},

        {"ANulInANameOrAPortIsRefused",
         Lines{"a,AM,594,80,COM1"},
         "",
         {start(), click(Button::Am), type(Port, "COM1"), type(Frequency, "954"),
          paste(Name, std::string("My\0Radio", 8)),
          click(Button::Add)
              .says({"名前に保存できない文字があります"})
              .shows({.lines = Lines{"a,AM,594,80,COM1"}}),
          paste(Name, "Radio"), paste(Port, std::string("COM1\0", 5)),
          click(Button::Add)
              .says({"ポート名に保存できない文字があります"})
              .shows({.lines = Lines{"a,AM,594,80,COM1"}})},
         true},

        // While on: moving a line selects it by code, which runs no channel selection.
        {"DeleteAndMoveLinesWithTheButtons", Lines{"a,AM,594,80,{port}", "b,FM,80.7,120,{port}"},
         "",
         Steps{start()} + switchedOn() +
             Steps{select(0).sends(cmds({"K00000594000020100", "K00000594000020100", "J4050"})),
                   click(Button::Up).shows({.selected = 0}),  // the first line: nothing
                   click(Button::Down)
                       .shows({.lines = Lines{"b,FM,80.7,120,{port}", "a,AM,594,80,{port}"},
                               .selected = 1}),
                   click(Button::Down).shows({.selected = 1}),  // the last line: nothing
                   click(Button::Up)
                       .shows({.lines = Lines{"a,AM,594,80,{port}", "b,FM,80.7,120,{port}"},
                               .selected = 0}),
                   click(Button::Delete)
                       .shows({.lines = Lines{"b,FM,80.7,120,{port}"}, .selected = -1}),
                   click(Button::Delete).shows({.lines = Lines{"b,FM,80.7,120,{port}"}})}},

        {"SaveAsksFirstAndWritesOnlyOnYesReloadRestoresTheFile",
         Lines{"a,AM,594,80,COM1", "b,FM,80.7,120,COM3"},
         "",
         {start(), select(0), click(Button::Delete),
          save(false)
              .asks({kSaveQuestion})
              .shows({.file = "a,AM,594,80,COM1\r\nb,FM,80.7,120,COM3\r\n"}),
          // Reload brings the file's lines back, with nothing selected.
          select(0),
          click(Button::Reload)
              .shows({.lines = Lines{"a,AM,594,80,COM1", "b,FM,80.7,120,COM3"}, .selected = -1}),
          select(1), click(Button::Delete),
          save(true).asks({kSaveQuestion}).shows({.file = "a,AM,594,80,COM1\r\n"})}},

        {"FileErrorsShowTheStandardDialogAndKeepTheList",
         Lines{"a,AM,594,80,COM1"},
         "",
         {start(), step(K::RemoveFile),
          click(Button::Reload)
              .fails({"ファイル {file} は開けません."})
              .shows({.lines = Lines{"a,AM,594,80,COM1"}}),
          // A folder where the file should be: it cannot be created.
          step(K::BlockFile),
          save(true).asks({kSaveQuestion}).fails({"ファイル {file} を作成できません."}),
          // The window goes on working.
          select(0).shows({.name = "a"})}},

        {"EnteringSModeShowsTheStripWithTheWindowsState",
         Lines{"Radio1,AM,594,80,{port}", "NoComma", "ニュース,AM,954,100,{port}"}, "",
         Steps{start()} + switchedOn() +
             Steps{slide(42).sends(cmds({"J402A"})),
                   // Nothing selected: the chooser keeps its text. Syncing the slider writes the
                   // same value back: nothing is sent.
                   click(Button::SMode)
                       .shows({.showing = Strip,
                               .stripPower = "|",
                               .stripText = "",
                               .stripNames = Lines{"Radio1", "", "ニュース"},
                               .stripVolume = 42}),
                   click(Button::StripPower)
                       .sends(cmds({"H100"}))
                       .shows({.power = "OFF", .stripPower = "○"}),
                   click(Button::StripPower)
                       .sends(kSwitchOn)
                       .shows({.power = "ON", .stripPower = "|"}),
                   // The strip's slider drives the main one.
                   slideStrip(43).sends(cmds({"J402B"})).shows({.volume = 43, .volumeLabel = "43"}),
                   click(Button::StripBack).shows({.showing = Main})}},

        {"ChoosingAChannelInTheStripTunesWithTheStripsVolume",
         Lines{"Radio1,AM,594,80,{port}", "Music,FM,80.7,120,{port}"},
         "",
         {start(), select(0),
          click(Button::SMode).shows({.stripText = "Radio1", .stripVolume = 80}),
          // Off: choosing selects the line but sends nothing.
          choose(1).shows({.selected = 1}),
          type(Port, "{port}"),  // the main window's chooser, hidden but set
          // Switching on selects the chosen line: band and text are there already, so the
          // explicit tune; the volume comes from the strip.
          click(Button::StripPower)
              .sends(kSwitchOn + cmds({"K00080700000060400", "J4050"}))
              .shows({.power = "ON"}),
          slideStrip(30).sends(cmds({"J401E"})),
          choose(0)
              .sends(
                  cmds({"K00000081000020100", "K00000594000020100", "K00000594000020100", "J401E"}))
              .shows({.volume = 30, .selected = 0}),
          // Typing: a text naming no channel leaves the list without a selection and sends
          // nothing; completing a name selects and tunes that channel (checking FM first
          // retunes the old text "594", now in MHz).
          clear(StripChooser).shows({.selected = -1}),
          type(StripChooser, "Mus").shows({.selected = -1}),
          type(StripChooser, "ic")
              .sends(
                  cmds({"K00594000000060400", "K00080700000060400", "K00080700000060400", "J401E"}))
              .shows({.selected = 1}),
          // Back in the main window the strip's choice stays selected.
          click(Button::StripBack).shows({.selected = 1, .showing = Main})}},

        {"TheStripKeepsItsTextWithoutASelectionAndShowsAShortLinesError",
         Lines{"Short,FM"},
         "",
         {start(), click(Button::SMode).shows({.stripNames = Lines{"Short"}}),
          type(StripChooser, "zz").shows({.selected = -1}), click(Button::StripBack),
          click(Button::SMode).shows({.stripText = "zz", .stripNames = Lines{"Short"}}),
          // The error shows, the strip stays.
          choose(0).fails({kListIndex2}).shows({.showing = Strip}),
          click(Button::StripBack).shows({.showing = Main}),
          // An empty list leaves the text too.
          click(Button::Delete).shows({.lines = Lines{}, .selected = -1}),
          click(Button::SMode).shows({.stripText = "Short", .stripNames = Lines{}})}},

        {"ClosingTheStripSwitchesOffAndEndsTheProgram", Lines{}, "",
         Steps{start()} + switchedOn() +
             Steps{click(Button::SMode), step(K::CloseStrip)
                                             .sends(cmds({"H100"}))
                                             .shows({.showing = Showing::Nothing, .open = false})}},
    };
}

}  // namespace

const std::vector<Scenario>& all() {
    static const std::vector<Scenario> scenarios = table();
    return scenarios;
}

}  // namespace scenarios
