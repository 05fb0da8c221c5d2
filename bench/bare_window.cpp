// The baseline of the start-up benchmark: a bare Qt window of the main window's size,
// nothing in it, shown until the process is ended.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(352, 573);  // the main window's client area (a 360 x 600 frame)
    window.show();
    return app.exec();
}
