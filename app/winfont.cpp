#include "winfont.h"

#include <QStringList>

namespace {
const char* const windowsFamily = "ＭＳ Ｐゴシック";
}

void installFontSubstitutes() {
    QFont::insertSubstitutions(QString::fromUtf8(windowsFamily),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("IPAGothic")});
}

QFont windowFont(int pixelHeight, bool bold) {
    QFont font(QString::fromUtf8(windowsFamily));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}
