// The program's entry: one running copy per program title, then the main window and the
// compact strip, and the message loop until the main window closes.
#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTimer>
#include <optional>

#include "Unit1.h"
#include "Unit2.h"
#include "apptitle.h"
#include "controls.h"
#include "dialogs.h"
#include "qtnotifywindow.h"
#include "rs232c.h"
#include "screenshots.h"
#include "singlecopy.h"
#include "termination.h"
#include "winfont.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The program ends when the main window closes, not when the last window hides.
    app.setQuitOnLastWindowClosed(false);
    setProgramTitles(QCoreApplication::applicationFilePath());

    const QStringList args = QCoreApplication::arguments();
    std::optional<QString> argument;
    if (args.size() > 1) argument = args.at(1);

    // A second start is a switch: without a channel it closes the running copy (and so the
    // receiver) and ends; with one it takes over after a second's pause.
    SingleCopy single(programTitle());
    if (single.closeRunningCopy()) {
        if (!argument) return 0;
        QThread::msleep(1000);
    }

    // From here start-up may switch the receiver on: a termination signal waits for the
    // main window's closing sequence instead of ending the program at once.
    holdTerminationSignals();
    installFontSubstitutes();
    installQtNotifyWindows();
    setRs232cMessageBox(
        [](const std::string& text) { dialogs().showMessage(QString::fromStdString(text)); });

    TForm1 form1;
    QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    runHandler([&] { form1.FormCreate(QCoreApplication::applicationDirPath(), argument); });
    TForm2 form2(form1);
    form1.setCompactWindow(&form2);
    runHandler([&] { form2.FormCreate(); });

    // Signals are caught before the endpoint exists: whoever finds this copy may end it.
    closeOnTerminationSignals([&form1] { form1.close(); });
    single.listen([&form1] { form1.close(); });
    form1.show();
    scheduleScreenshots(form1);
    return app.exec();
}
