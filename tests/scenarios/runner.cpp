// Runs a scenario: the program's folder and the receiver's line are the runner's, each step
// goes to the front end (or to the line or the disk), and afterwards the bytes, the boxes
// and the window are compared with the step's.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "core/cp932.h"
#include "core/messages.h"
#include "serial/rs232c.h"
#include "tests/scenarios/scenarios.h"
#include "tests/support/serialline.h"
#include "tests/support/testenv.h"

namespace scenarios {

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The names a scenario's texts use for what only the run knows.
struct Place {
    const testenv::SerialLine& line;
    std::string file;

    std::string operator()(std::string text) const {
        text = replaceAll(std::move(text), "{port}", line.name());
        text = replaceAll(std::move(text), "{file}", file);
        const std::string missing = "{missing ";
        for (auto at = text.find(missing); at != std::string::npos; at = text.find(missing, at)) {
            const auto end = text.find('}', at);
            const std::string com = text.substr(at + missing.size(), end - at - missing.size());
            const std::string message = line.missingPortMessage(com);
            text.replace(at, end + 1 - at, message);
            at += message.size();
        }
        return text;
    }
    Lines operator()(Lines texts) const {
        for (auto& text : texts) text = (*this)(std::move(text));
        return texts;
    }
    template <class T>
    std::optional<T> operator()(std::optional<T> value) const {
        if (value) value = (*this)(std::move(*value));
        return value;
    }
};

void writeChannelFile(const std::string& path, const Lines& lines) {
    std::string bytes;
    for (const auto& line : lines) bytes += kivo::utf8ToCp932(line).value() + "\r\n";
    testenv::writeFile(path, bytes);
}

const char* named(Band band) {
    return band == Band::Am ? "AM" : band == Band::Fm ? "FM" : "no band";
}
const char* named(Showing showing) {
    return showing == Showing::Main    ? "the main window"
           : showing == Showing::Strip ? "the strip"
                                       : "no window";
}

template <class T>
void expectField(const char* field, const std::optional<T>& want, const std::optional<T>& got) {
    if (!want) return;
    ASSERT_TRUE(got) << field << " was not read back";
    if constexpr (std::is_enum_v<T>)
        EXPECT_EQ(named(*want), std::string(named(*got))) << field;
    else
        EXPECT_EQ(*want, *got) << field;
}

void expectWindow(const Window& want, const Window& got) {
    expectField("power", want.power, got.power);
    expectField("port text", want.portText, got.portText);
    expectField("port chooser enabled", want.portEnabled, got.portEnabled);
    expectField("timer running", want.timer, got.timer);
    expectField("frequency", want.frequency, got.frequency);
    expectField("band", want.band, got.band);
    expectField("name", want.name, got.name);
    expectField("volume", want.volume, got.volume);
    expectField("volume label", want.volumeLabel, got.volumeLabel);
    expectField("channel lines", want.lines, got.lines);
    expectField("selected line", want.selected, got.selected);
    expectField("showing", want.showing, got.showing);
    expectField("strip power", want.stripPower, got.stripPower);
    expectField("strip chooser", want.stripText, got.stripText);
    expectField("strip names", want.stripNames, got.stripNames);
    expectField("strip volume", want.stripVolume, got.stripVolume);
    expectField("portname", want.portname, got.portname);
    expectField("port open", want.open, got.open);
    expectField("bytes waiting", want.waiting, got.waiting);
    expectField("channel file", want.file, got.file);
}

// Does what the step says.
void perform(const Step& step, FrontEnd& fe, testenv::SerialLine& line, const std::string& folder,
             const Place& place) {
    using Kind = Step::Kind;
    const std::string text = place(step.text.value_or(""));
    switch (step.kind) {
        case Kind::Start:
            fe.start(folder, place(step.text));
            break;
        case Kind::Click:
            if (step.button == Button::Save) fe.answerConfirmations(step.number != 0);
            fe.click(step.button);
            break;
        case Kind::Type:
            fe.type(step.field, text);
            break;
        case Kind::Erase:
            fe.erase(step.field);
            break;
        case Kind::Clear:
            fe.clear(step.field);
            break;
        case Kind::Paste:
            fe.paste(step.field, text);
            break;
        case Kind::Slide:
            fe.slide(step.number);
            break;
        case Kind::SlideStrip:
            fe.slideStrip(step.number);
            break;
        case Kind::Select:
            fe.selectLine(step.number);
            break;
        case Kind::DoubleClick:
            fe.doubleClickLine(step.number);
            break;
        case Kind::Choose:
            fe.chooseInStrip(step.number);
            break;
        case Kind::Tick:
            ASSERT_TRUE(fe.shown().timer.value_or(false)) << "the timer does not run";
            fe.tick();
            break;
        case Kind::CloseMain:
            fe.closeMain();
            break;
        case Kind::CloseStrip:
            fe.closeStrip();
            break;
        case Kind::Reply: {
            Trs232c& port = fe.component();
            const int before = std::max(port.rxcount(), 0);
            line.write(text);
            ASSERT_TRUE(testenv::eventually([&] {
                return port.rxcount() == before + static_cast<int>(text.size());
            })) << "the reply did not arrive";
            break;
        }
        case Kind::RemoveFile:
            std::filesystem::remove(place.file);
            break;
        case Kind::BlockFile:
            std::filesystem::create_directory(place.file);
            break;
        case Kind::WriteFile:
            writeChannelFile(place.file, place(step.lines));
            break;
    }
}

std::string describe(const Step& step, std::size_t index) {
    std::ostringstream out;
    out << "step " << index + 1 << " (kind " << static_cast<int>(step.kind);
    if (step.text) out << ", \"" << *step.text << "\"";
    out << ", " << step.number << ")";
    return out.str();
}

}  // namespace

void run(const Scenario& scenario, FrontEnd& fe) {
    // The table holds the program's own texts.
    ASSERT_TRUE(kivo::useLanguage("ja"));
    if (scenario.nul && !fe.editsHoldNul()) GTEST_SKIP() << "this front end's edits hold no NUL";
    testenv::SerialLine line(scenario.port);
    testenv::TempDir program;
    Place place{line, program.file("KIVO.ini")};
    if (scenario.file) writeChannelFile(place.file, place(*scenario.file));
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        SCOPED_TRACE(describe(step, i));
        perform(step, fe, line, program.path(), place);
        if (i == 0) place.file = fe.channelFilePath();
        if (testing::Test::HasFatalFailure()) return;

        const std::string want = place(step.sent);
        // What was to come, then whatever else follows within a quiet spell.
        std::string got = line.read(want.size(), std::chrono::seconds(5));
        got += line.drain(std::chrono::milliseconds(50));
        EXPECT_EQ(got, want) << "on the line";
        EXPECT_EQ(fe.takeMessages(), place(step.messages)) << "message boxes";
        EXPECT_EQ(fe.takeErrors(), place(step.errors)) << "error dialogs";
        EXPECT_EQ(fe.takeQuestions(), place(step.questions)) << "questions";

        Window got_ = fe.shown();
        Trs232c& port = fe.component();
        got_.portname = port.portname;
        got_.open = port.isOpen();
        got_.waiting = std::max(port.rxcount(), 0);
        if (std::filesystem::is_regular_file(place.file))
            got_.file = kivo::cp932ToUtf8(testenv::readFile(place.file));
        Window want_ = step.after;
        want_.power = place(want_.power);
        want_.portText = place(want_.portText);
        want_.lines = place(want_.lines);
        want_.portname = place(want_.portname);
        want_.file = place(want_.file);
        expectWindow(want_, got_);
    }
}

}  // namespace scenarios
