// The window tests need one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt/winfont.h"
#include "tests/support/testenv.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own texts, whatever the locale: a test of another language says so.
    qputenv("KIVO_LANG", "ja");
    // A runtime folder of our own: no running copy of the program is ever reached.
    testenv::TempDir runtime;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.path()));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    installFontSubstitutes();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
