// The program's entry: one running copy per program title, then the main window and the
// compact strip, and the message loop until the main window closes.
#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"
#include "app/qt/apptitle.h"
#include "app/qt/closeatexit.h"
#include "app/qt/controls.h"
#include "app/qt/dialogs.h"
#include "app/qt/qtnotifywindow.h"
#include "app/qt/remotestart.h"
#include "app/qt/screenshots.h"
#include "app/qt/singlecopy.h"
#include "app/qt/termination.h"
#include "app/qt/winfont.h"
#include "core/apptitle.h"
#include "core/channelfile.h"
#include "core/commandline.h"
#include "core/errors.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/receivercontrol.h"
#include "core/remoteaddress.h"
#include "serial/posix/ports/holders.h"
#include "serial/posix/ports/portcheck.h"
#include "serial/posix/ports/portsetup.h"
#include "serial/rs232c.h"

int main(int argc, char* argv[]) {
    const std::string program = argc > 0 && argv[0] ? kivo::fileNameOf(argv[0]) : "kivo";
    const kivo::CommandLine line = kivo::parseCommandLine(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), kivo::programOptions());
    if (!line.error.empty()) {
        std::fputs(kivo::commandLineErrorText(program, line.error).c_str(), stderr);
        return 2;
    }
    // These print and end: no window, no running copy asked, no port opened.
    if (line.has("help")) {
        std::fputs(kivo::usageText(program, KIVO_INSTALLED_BINDIR).c_str(), stdout);
        return 0;
    }
    if (line.has("version")) {
        std::fputs(kivo::versionText(program).c_str(), stdout);
        return 0;
    }
    kivo::PortSetup setup;
    setup.program = program;
    if (line.has("list-ports")) return kivo::listPorts(setup, std::cout);
    if (const auto* map = line.find("map-port"))
        return kivo::mapPort(setup, map->operands[0], map->operands[1], std::cout, std::cerr);
    if (const auto* unmap = line.find("unmap-port"))
        return kivo::unmapPort(setup, unmap->operands[0], std::cout, std::cerr);
    const kivo::RemoteChoice remote =
        kivo::chooseRemote(line, std::getenv("KIVO_REMOTE"), socketAddress);
    if (remote.fromOption && !remote.endpoint) {
        std::fputs(kivo::optionErrorText(program, "remote", remote.error).c_str(), stderr);
        return 2;
    }

    // The port scan's look for other holders goes through every process's descriptors: it
    // runs ahead on a thread of its own while the toolkit starts and the window is built.
    std::shared_ptr<const comm::posix::HolderScan> holders =
        std::make_shared<comm::posix::HolderScan>(
            comm::posix::devicesOfPorts(kivo::scannedPortNames()),
            comm::posix::HolderScan::When::OnAThread);

    // Qt reads none of the command line (a channel may be called "-reverse"); its settings
    // come from the environment.
    static char fallbackName[] = "kivo";
    static char* qtArgv[] = {argc > 0 ? argv[0] : fallbackName, nullptr};
    static int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);
    // The program ends when the main window closes, not when the last window hides.
    app.setQuitOnLastWindowClosed(false);
    setProgramTitles(QCoreApplication::applicationFilePath());

    std::optional<QString> argument;
    if (line.channel) argument = QString::fromLocal8Bit(line.channel->c_str());

    // A second start is a switch: without a channel it closes the running copy (and so the
    // receiver) and ends; with one it takes over after a second's pause. Either way it
    // waits until the running copy has ended; one that does not end in time (stopped, say)
    // keeps running alone and this start ends, having touched nothing.
    SingleCopy single(programTitle());
    const SingleCopy::Claim claim = single.claim();
    if (claim == SingleCopy::Claim::StillRunning) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(),
                     kivo::message(kivo::Msg::RunningCopyStayed).c_str());
        return 1;
    }
    const bool tookOver = claim == SingleCopy::Claim::TookOver;
    if (tookOver && !argument) return 0;
    // A look taken while the copy before still held its port is out of date: the scan
    // looks for itself once that copy has ended.
    if (tookOver) holders.reset();

    // From here start-up may switch the receiver on: a termination signal waits for the
    // main window's closing sequence instead of ending the program at once.
    holdTerminationSignals();
    installFontSubstitutes();
    useScreenshotPalette();
    installQtNotifyWindows();
    setRs232cMessageBox([](const std::string& text) {
        dialogs().showMessage(QString::fromStdString(kivo::componentMessage(text)));
    });

    TForm1 form1;
    QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // The toolkit ends the program with exit() when the display's connection is lost:
    // the receiver is switched off and the port released then too.
    const CloseAtExit atExit([&form1] { form1.closeAtExit(); });
    // Whoever finds this copy may end it from now on, during start-up too: a box waiting
    // for an answer is dismissed and the closing sequence runs.
    single.listen([&form1] { form1.requestClose(); });
    closeOnTerminationSignals(&form1, [&form1] { form1.requestClose(); });
    if (tookOver) QThread::msleep(1000);

    // The installed program keeps its list in the user's config folder, any other copy
    // beside itself.
    const QString channelFolder = QString::fromStdString(kivo::channelFileFolder(
        QCoreApplication::applicationDirPath().toStdString(), KIVO_INSTALLED_BINDIR));
    form1.usePortScan(std::move(holders));
    runHandler([&] { form1.FormCreate(channelFolder, argument); });
    if (form1.closing()) return 0;  // asked to end during start-up: closed already
    TForm2 form2(form1);
    form1.setCompactWindow(&form2);
    runHandler([&] { form2.FormCreate(); });

    form1.show();

    const std::unique_ptr<RemoteServer> server = startRemoteControl(remote, form1);
    scheduleScreenshots(form1);
    return app.exec();
}
