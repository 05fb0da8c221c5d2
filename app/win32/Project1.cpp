// The program's entry: one running copy per program title, then the main window and the
// compact strip, and the message loop until the main window closes.
// clang-format off
#include "app/win32/system.h"
#include <commctrl.h>
// clang-format on

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/Unit1.h"
#include "app/win32/Unit2.h"
#include "app/win32/apptitle.h"
#include "app/win32/console.h"
#include "app/win32/controls.h"
#include "app/win32/dialogs.h"
#include "app/win32/installation.h"
#include "app/win32/remotestart.h"
#include "app/win32/singlecopy.h"
#include "app/win32/termination.h"
#include "core/channelfile.h"
#include "core/commandline.h"
#include "core/errors.h"
#include "core/options.h"
#include "core/remoteaddress.h"
#include "core/win32/widechar.h"
#include "serial/rs232c.h"
#include "serial/win32/ports/portsetup.h"

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::optional<std::string> environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    if (!value) return std::nullopt;
    return kivo::narrow(value);
}

int run() {
    kivo::setProgramTitlesFromModule();
    const std::string programPath = kivo::programFile();
    const std::string program = kivo::fileNameOf(programPath);
    // The arguments as the system keeps them, cut by the program's own rule.
    std::vector<std::string> args = kivo::splitCommandLine(kivo::narrow(GetCommandLineW()));
    if (!args.empty()) args.erase(args.begin());
    const kivo::CommandLine line = kivo::parseCommandLine(args, kivo::programOptions());
    if (!line.error.empty()) {
        printText(kivo::commandLineErrorText(program, line.error), Stream::Error);
        return 2;
    }
    const std::string installed = installedFolder();
    // These print and end: no window, no running copy asked, no port opened.
    if (line.has("help")) {
        printText(kivo::usageText(program, installed));
        return 0;
    }
    if (line.has("version")) {
        printText(kivo::versionText(program));
        return 0;
    }
    if (line.has("list-ports")) {
        int status = 0;
        printText(kivo::listPorts(status));
        return status;
    }
    const std::optional<std::string> remoteVariable = environment(L"KIVO_REMOTE");
    const kivo::RemoteChoice remote =
        kivo::chooseRemote(line, remoteVariable ? remoteVariable->c_str() : nullptr, socketAddress);
    if (remote.fromOption && !remote.endpoint) {
        printText(kivo::optionErrorText(program, "remote", remote.error), Stream::Error);
        return 2;
    }

    // A second start is a switch: without a channel it closes the running copy (and so the
    // receiver) and ends; with one it takes over after a second's pause. A copy that does
    // not end in time keeps running alone and this start ends, having touched nothing.
    const Claim claim = closeRunningCopy(kivo::programTitle());
    if (claim == Claim::StillRunning) {
        showMessage(kivo::runningCopyNotClosedMessage(kivo::programTitle()));
        return 1;
    }
    const bool tookOver = claim == Claim::TookOver;
    if (tookOver && !line.channel) return 0;
    if (tookOver) Sleep(1000);

    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);
    setRs232cMessageBox([](const std::string& text) { showMessage(text); });

    TForm1 form1;
    form1.onClosed = [] {
        closedAfterConsoleEvent();
        PostQuitMessage(0);
    };
    closeOnConsoleEvents(form1.handle());

    // The installed program keeps its list in the user's application data folder, any
    // other copy beside itself.
    const std::string channelFolder = kivo::channelFileFolder(folderOf(programPath), installed);
    runHandler([&] { form1.FormCreate(channelFolder, line.channel); });
    if (form1.closing()) return 0;  // asked to end during start-up: closed already
    TForm2 form2(form1);
    form1.setCompactWindow(&form2);
    runHandler([&] { form2.FormCreate(); });

    form1.show();

    std::unique_ptr<RemoteServer> server = startRemoteControl(remote, form1);
    form1.onClosed = [&server] {
        // Clients act like the user: once the window has closed, nothing of theirs runs.
        if (server) server->close();
        closedAfterConsoleEvent();
        PostQuitMessage(0);
    };

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (keyboardMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return run();
}
