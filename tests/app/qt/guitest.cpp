#include "tests/app/qt/guitest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/qt/apptitle.h"
#include "core/cp932.h"

WindowTest::WindowTest() : portsEnv("KIVO_PORTS", ports.path()) {
    setDialogs(&boxes);
    setProgramTitles(QStringLiteral("/opt/kivo/KIVO.exe"));
}

WindowTest::~WindowTest() {
    form2.reset();
    form1.reset();
    receivers.clear();
    setDialogs(nullptr);
}

void WindowTest::writeChannelFile(const std::vector<std::string>& lines) {
    std::ofstream out(channelFilePath(), std::ios::binary);
    for (const std::string& line : lines) out << kivo::utf8ToCp932(line).value() << "\r\n";
}

std::string WindowTest::channelFileBytes() const {
    std::ifstream in(channelFilePath(), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void WindowTest::start(std::optional<QString> argument, QString folder) {
    if (folder.isEmpty()) folder = QString::fromStdString(program.path());
    form1 = std::make_unique<TForm1>();
    runHandler([&] { form1->FormCreate(folder, argument); });
    form2 = std::make_unique<TForm2>(*form1);
    form1->setCompactWindow(form2.get());
    form2->FormCreate();
    form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form1.get()));
}

QString WindowTest::missingPortMessage(const std::string& com) const {
    return QString::fromStdString("回線オープンエラー\n" + com + "\nデバイス " + ports.file(com) +
                                  " がありません（つながっているシリアルデバイスは kivo "
                                  "--list-ports で分かります）");
}

sim::Simulator& WindowTest::addReceiver(const std::string& com) {
    sim::Simulator::Options options;
    options.portsDir = ports.path();
    options.portName = com;
    receivers.push_back(std::make_unique<sim::Simulator>(options));
    return *receivers.back();
}

std::string WindowTest::sent(std::size_t atLeast) {
    sim::Simulator& receiver = *receivers.front();
    receiver.waitForBytes(atLeast, std::chrono::seconds(5));
    // Whatever else is on its way arrives within the quiet spell.
    std::size_t seen = receiver.received().size();
    while (receiver.waitForBytes(seen + 1, std::chrono::milliseconds(150)))
        seen = receiver.received().size();
    std::string bytes = receiver.received();
    receiver.clear();
    return bytes;
}

void WindowTest::typeInto(QWidget* widget, const QString& text) {
    widget->setFocus();
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, c.toLatin1());
        } else {
            // Japanese text arrives through the input method, committed a character at a time.
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(widget, &commit);
        }
    }
}

void WindowTest::clickLine(int row) {
    ChannelListBox* list = form1->ListBox1;
    QRect r = list->rowRect(row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void WindowTest::doubleClickLine(int row) {
    // A real double click: press, release, double click, release.
    ChannelListBox* list = form1->ListBox1;
    QPoint at = list->rowRect(row).center();
    QWidget* vp = list->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, at);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, at);
    QTest::mouseDClick(vp, Qt::LeftButton, {}, at);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, at);
}

void WindowTest::choosePort(const QString& name) {
    QLineEdit* edit = form1->ComboBox1->lineEdit();
    edit->selectAll();
    typeInto(edit, name);
}

void WindowTest::switchOn(const QString& port) {
    choosePort(port);
    QTest::mouseClick(form1->Button2, Qt::LeftButton);
}

QStringList WindowTest::shownLines() const {
    QStringList out;
    for (int i = 0; i < form1->ListBox1->count(); ++i) out << form1->ListBox1->itemText(i);
    return out;
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

bool processEventsUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(5);
    }
    return true;
}
