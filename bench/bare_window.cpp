// The baselines of the start-up benchmark: a bare Qt window of the main window's size,
// shown until the process is ended; with `--text`, the same window showing one line of
// Japanese text in the face KIVO draws with, which is what showing any text costs.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

#include "app/qt/winfont.h"

int main(int argc, char** argv) {
    const bool text = argc > 1 && std::strcmp(argv[1], "--text") == 0;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QWidget window;
    window.resize(352, 573);  // the main window's client area (a 360 x 600 frame)
    if (text) {
        installFontSubstitutes();
        auto* label = new QLabel(QString::fromUtf8("\"KIVO.ini\" ファイルが開けません"), &window);
        label->setFont(windowFont(12, false));
        label->move(8, 8);
    }
    window.show();
    return app.exec();
}
