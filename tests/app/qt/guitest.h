// A main window and its compact strip on the offscreen platform, a private ports folder
// and program folder, and dialogs answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"
#include "app/qt/dialogs.h"
#include "sim/simulator.h"
#include "tests/support/commands.h"
#include "tests/support/testenv.h"

// Records every box and answers the Save confirmation as told.
class RecordingDialogs : public Dialogs {
  public:
    QStringList errors;
    QStringList messages;
    QStringList questions;
    bool answer = true;

    void showError(const QString& text) override { errors << text; }
    bool confirmOverwrite(const QString& text) override {
        questions << text;
        return answer;
    }
    void showMessage(const QString& text) override { messages << text; }
};

class WindowTest : public testing::Test {
  protected:
    WindowTest();
    ~WindowTest() override;

    // Writes the channel file (lines joined by CR LF, given as UTF-8, stored as CP932).
    void writeChannelFile(const std::vector<std::string>& lines);
    std::string channelFileBytes() const;
    std::string channelFilePath() const { return program.file("KIVO.ini"); }

    // Creates the windows and runs start-up as the entry does (the channel file in the
    // program's folder unless another is given).
    void start(std::optional<QString> argument = std::nullopt, QString folder = {});

    // A simulated receiver registered as `com` in the ports folder.
    sim::Simulator& addReceiver(const std::string& com = "COM3");
    // The bytes the receiver got since the last call: waits (bounded) until at least
    // `atLeast` have arrived and then for a short quiet spell, so that extra bytes show.
    std::string sent(std::size_t atLeast = 0);

    // User actions.
    void typeInto(QWidget* widget, const QString& text);
    void clickLine(int row);
    void doubleClickLine(int row);
    void choosePort(const QString& name);  // types the port name into the chooser
    void switchOn(const QString& port);    // chooses the port and presses POWER

    // Lines the window shows in its list.
    QStringList shownLines() const;

    // The box of a switch-on whose port has no link in the ports folder.
    QString missingPortMessage(const std::string& com) const;

    testenv::TempDir ports;
    testenv::TempDir program;
    testenv::ScopedEnv portsEnv;
    RecordingDialogs boxes;
    std::vector<std::unique_ptr<sim::Simulator>> receivers;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

// Runs the event loop until `done` holds, at most `ms` milliseconds; true when it held.
// (QtTest's QTRY macros tell GoogleTest nothing when they time out: the test would just
// return early and pass.)
bool processEventsUntil(const std::function<bool()>& done, int ms);

// Expects exactly `expected` at the receiver (waiting, bounded, until that much has come).
#define EXPECT_SENT(expected)                         \
    do {                                              \
        const std::string expected_ = (expected);     \
        EXPECT_EQ(sent(expected_.size()), expected_); \
    } while (false)

// A left click on a button.
void click(QAbstractButton* button);

using testenv::cmds;
