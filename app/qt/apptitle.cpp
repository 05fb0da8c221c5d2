#include "app/qt/apptitle.h"

#include <algorithm>

namespace {

QString fileNameOf(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
#ifdef Q_OS_WIN
    slash = std::max(slash, path.lastIndexOf(QLatin1Char('\\')));
#endif
    return path.mid(slash + 1);
}

QString& storedProgramTitle() {
    static QString title = QStringLiteral("KIVO");
    return title;
}

QString& storedApplicationTitle() {
    static QString title = QStringLiteral("Kivo");
    return title;
}

}  // namespace

QString programTitleOf(const QString& programPath) {
    QString name = fileNameOf(programPath);
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString applicationTitleOf(const QString& programPath) {
    QString name = fileNameOf(programPath);
    qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.isEmpty()) return name;
    return name.left(1) + name.mid(1).toLower();
}

void setProgramTitles(const QString& programPath) {
    storedProgramTitle() = programTitleOf(programPath);
    storedApplicationTitle() = applicationTitleOf(programPath);
}

QString programTitle() {
    return storedProgramTitle();
}
QString applicationTitle() {
    return storedApplicationTitle();
}
