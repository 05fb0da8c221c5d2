#include "app/qt/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"

QPalette darkPalette() {
    QPalette p;
    const QColor window(50, 50, 50), base(36, 36, 36), text(240, 240, 240);
    const QColor disabledText(127, 127, 127);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(68, 68, 68));
    p.setColor(QPalette::ToolTipBase, QColor(60, 60, 60));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(60, 60, 60));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Light, QColor(90, 90, 90));
    p.setColor(QPalette::Midlight, QColor(75, 75, 75));
    p.setColor(QPalette::Mid, QColor(45, 45, 45));
    p.setColor(QPalette::Dark, QColor(30, 30, 30));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(38, 92, 150));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(100, 170, 240));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

void useScreenshotPalette() {
    if (qEnvironmentVariable("KIVO_SCREENSHOTS_PALETTE") == QLatin1String("dark"))
        QApplication::setPalette(darkPalette());
}

void scheduleScreenshots(TForm1& form1) {
    const QString folder = qEnvironmentVariable("KIVO_SCREENSHOTS");
    if (folder.isEmpty()) return;
    const QString name = qEnvironmentVariable("KIVO_SCREENSHOTS_NAME");
    QTimer::singleShot(1000, &form1, [&form1, folder, name] {
        QDir().mkpath(folder);
        form1.grab().save(folder + QStringLiteral("/main") + name + QStringLiteral(".png"));
        form1.Button8->click();
        QTimer::singleShot(500, &form1, [&form1, folder, name] {
            if (TForm2* strip = form1.compactWindow())
                strip->grab().save(folder + QStringLiteral("/smode") + name +
                                   QStringLiteral(".png"));
            form1.close();
        });
    });
}
