// The main window's actions with channel lists of 4, 10 000 and 100 000 lines: how long
// each keeps the window frozen, from the click until the window has handled everything
// it caused, its repaint included. The real windows on the Qt platform of the
// environment (Xvfb under `make bench`), a simulated receiver as COM1.
//
// A selection while on sends its commands, each followed by its drain wait; its floor is
// 10 ms for each command the receiver got. Add, Delete and move take the 10 000-line
// list as their baseline, the others the 4-line one.
//
//   kivo_window_bench [ROUNDS]
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"
#include "app/qt/apptitle.h"
#include "app/qt/dialogs.h"
#include "app/qt/qtnotifywindow.h"
#include "app/qt/winfont.h"
#include "bench/arguments.h"
#include "bench/chanfiles.h"
#include "bench/table.h"
#include "bench/tempfolder.h"
#include "sim/simulator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Answers Save with Yes and keeps quiet otherwise.
class Answering : public Dialogs {
  public:
    int errors = 0;
    void showError(const QString&) override { ++errors; }
    bool confirmOverwrite(const QString&) override { return true; }
    void showMessage(const QString&) override {}
};

// Lets the window handle whatever is waiting, painting included.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// One program folder with its channel file, the windows built as the entry builds them.
class Window {
  public:
    Window(const fs::path& folder, const std::string& ini) : folder_(folder) {
        fs::create_directories(folder);
        bench::writeFile((folder / "KIVO.ini").string(), ini);
        form1 = std::make_unique<TForm1>();
        runHandler([&] { form1->FormCreate(QString::fromStdString(folder.string()), {}); });
        form2 = std::make_unique<TForm2>(*form1);
        form1->setCompactWindow(form2.get());
        form2->FormCreate();
        form1->show();
        if (!QTest::qWaitForWindowExposed(form1.get())) throw std::runtime_error("no window");
        settle();
    }
    ~Window() {
        // Off before the simulated receiver goes: the closing sequence sends its commands.
        form1->close();
        settle();
        form2.reset();
        form1.reset();
    }

    // How long `action` kept the window frozen, in milliseconds.
    double frozen(const std::function<void()>& action) {
        settle();
        const auto t0 = Clock::now();
        action();
        settle();
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }

    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // Brings `row` into view and clicks it.
    void clickLine(int row) {
        ChannelListBox* box = form1->ListBox1;
        box->scrollTo(box->model()->index(row, 0));
        settle();
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->rowRect(row).center());
    }
    int lines() const { return form1->ListBox1->count(); }

    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;

  private:
    fs::path folder_;
};

struct Figures {
    double selectOff = 0, selectOn = 0, selectOnFloor = 0, add = 0, remove = 0, move = 0,
           reload = 0, save = 0, smode = 0;
};

Figures measure(const fs::path& folder, const std::string& ini, sim::Simulator& receiver,
                int rounds) {
    Window w(folder, ini);
    Figures f;
    const int n = w.lines();
    // Two lines in the middle that differ in band, frequency and volume: each selection
    // changes all three. (Lines cycle through four kinds; two apart they differ.)
    const int a = n / 2 - 2, b = n / 2;
    std::vector<double> off, on, floor, add, remove, move, reload, save, smode;
    for (int r = 0; r < rounds; ++r) {
        off.push_back(w.frozen([&] { w.clickLine(r % 2 ? a : b); }));
        w.clickLine(a);
        add.push_back(w.frozen([&] { w.click(w.form1->Button1); }));  // a copy at the end
        // Deleting line a keeps the number of lines, and the two lines still differ.
        remove.push_back(w.frozen([&] { w.click(w.form1->Button3); }));
        w.clickLine(b);
        move.push_back(w.frozen([&] { w.click(w.form1->Button6); }));  // up, and down again
        move.push_back(w.frozen([&] { w.click(w.form1->Button7); }));
        reload.push_back(w.frozen([&] { w.click(w.form1->Button4); }));
        save.push_back(w.frozen([&] { w.click(w.form1->Button5); }));
        smode.push_back(w.frozen([&] { w.click(w.form1->Button8); }));
        w.click(w.form2->Button1);  // back with F
    }
    // Switched on: every selection sends its commands.
    w.form1->ComboBox1->setEditText(QString::fromStdString(receiver.portName()));
    w.form1->ComboBox1Change();  // as typing the name would
    w.click(w.form1->Button2);
    settle();
    receiver.waitForLines(1, std::chrono::seconds(5));
    for (int r = 0; r < rounds; ++r) {
        receiver.clear();
        on.push_back(w.frozen([&] { w.clickLine(r % 2 ? a : b); }));
        receiver.waitForLines(1, std::chrono::seconds(5));
        floor.push_back(10.0 * static_cast<double>(receiver.lines().size()));
    }
    f.selectOff = bench::median(off);
    f.selectOn = bench::median(on);
    f.selectOnFloor = bench::median(floor);
    f.add = bench::median(add);
    f.remove = bench::median(remove);
    f.move = bench::median(move);
    f.reload = bench::median(reload);
    f.save = bench::median(save);
    f.smode = bench::median(smode);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = *bench::rounds(argc, argv, 0, "[ROUNDS]", 9);
    // A repaint is asked for at once, not 5 ms later: what an action makes the window
    // draw then counts in its time.
    qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    static char name[] = "kivo";
    static char* qtArgv[] = {name, nullptr};
    static int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);
    app.setQuitOnLastWindowClosed(false);
    setProgramTitles(QStringLiteral("/opt/kivo/kivo"));
    installFontSubstitutes();
    installQtNotifyWindows();
    Answering answers;
    setDialogs(&answers);
    try {
        bench::TempFolder folder("kivo-window");
        const fs::path& work = folder.path();
        fs::create_directories(work / "ports");
        setenv("KIVO_PORTS", (work / "ports").c_str(), 1);
        sim::Simulator::Options options;
        options.portsDir = (work / "ports").string();
        options.portName = "COM1";
        sim::Simulator receiver(options);

        // Lines in the sample's manner, so that the same pairs of lines end every list.
        const Figures small = measure(work / "4", bench::manyChannelLines(4), receiver, rounds);
        const Figures mid = measure(work / "10k", bench::manyChannelLines(10000), receiver, rounds);
        const Figures big =
            measure(work / "100k", bench::manyChannelLines(100000), receiver, rounds);

        bench::Table table("frozen window per action, median of " + std::to_string(rounds) +
                           " rounds (" + QGuiApplication::platformName().toStdString() + ")");
        auto onRow = [&](const char* what, const Figures& f) {
            table.row(what, bench::ms(f.selectOnFloor) + " floor", bench::ms(f.selectOn),
                      bench::ratio(f.selectOn / f.selectOnFloor), "<= 1.1x");
        };
        onRow("select while on, 4 lines", small);
        onRow("select while on, 10 000 lines", mid);
        onRow("select while on, 100 000 lines", big);
        auto row = [&](const char* what, double base, const char* baseName, double value,
                       const char* goal) {
            table.row(what, bench::ms(base) + " (" + baseName + ")", bench::ms(value),
                      bench::ratio(value / base), goal);
        };
        row("select while off, 100 000 lines", small.selectOff, "4 lines", big.selectOff, "< 5 ms");
        // A list longer than the box has a scroll bar to keep up to date, whatever its
        // length: the 10 000 lines are the baseline of the lengths that do not matter.
        row("Add, 100 000 lines", mid.add, "10 000 lines", big.add, "~1x");
        row("Delete, 100 000 lines", mid.remove, "10 000 lines", big.remove, "~1x");
        row("UP / Down, 100 000 lines", mid.move, "10 000 lines", big.move, "~1x");
        row("Reload, 100 000 lines", small.reload, "4 lines", big.reload, "< 30 ms");
        row("Save, 100 000 lines", small.save, "4 lines", big.save, "< 30 ms");
        row("entering S mode, 100 000 lines", small.smode, "4 lines", big.smode, "< 30 ms");
        table.print();
        if (answers.errors) std::fprintf(stderr, "window bench: %d error boxes\n", answers.errors);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window bench: %s\n", e.what());
        return 1;
    }
    setDialogs(nullptr);
    return 0;
}
