#include "app/qt/winfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

const char* const windowsFamily = "ＭＳ Ｐゴシック";

QStringList standIns() {
    return {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
            QStringLiteral("IPAGothic")};
}

// The face that draws: the Windows one where it is installed, else the first stand-in
// that is. Found once: a font asked for by a missing family name is searched for anew
// for every size and script.
QString drawingFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        const QString windows = QString::fromUtf8(windowsFamily);
        if (installed.contains(windows)) return windows;
        for (const QString& standIn : standIns())
            if (installed.contains(standIn)) return standIn;
        return windows;  // the substitutes may still find something
    }();
    return family;
}

}  // namespace

void installFontSubstitutes() {
    QFont::insertSubstitutions(QString::fromUtf8(windowsFamily), standIns());
}

QFont windowFont(int pixelHeight, bool bold) {
    QFont font(drawingFamily());
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}
