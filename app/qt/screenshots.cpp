#include "app/qt/screenshots.h"

#include <QDir>
#include <QTimer>

#include "app/qt/Unit1.h"
#include "app/qt/Unit2.h"

void scheduleScreenshots(TForm1& form1) {
    const QString folder = qEnvironmentVariable("KIVO_SCREENSHOTS");
    if (folder.isEmpty()) return;
    QTimer::singleShot(1000, &form1, [&form1, folder] {
        QDir().mkpath(folder);
        form1.grab().save(folder + QStringLiteral("/main.png"));
        form1.Button8->click();
        QTimer::singleShot(500, &form1, [&form1, folder] {
            if (TForm2* strip = form1.compactWindow())
                strip->grab().save(folder + QStringLiteral("/smode.png"));
            form1.close();
        });
    });
}
