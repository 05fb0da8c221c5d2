#include "app/qt/apptitle.h"

#include "core/apptitle.h"

namespace {

// Qt's lower case, which knows every character.
std::string lowerCase(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .toLower()
        .toStdString();
}

}  // namespace

QString programTitleOf(const QString& programPath) {
    return QString::fromStdString(kivo::programTitleOf(programPath.toStdString()));
}

QString applicationTitleOf(const QString& programPath) {
    return QString::fromStdString(kivo::applicationTitleOf(programPath.toStdString(), lowerCase));
}

void setProgramTitles(const QString& programPath) {
    kivo::setProgramTitles(programPath.toStdString(), lowerCase);
}

QString programTitle() {
    return QString::fromStdString(kivo::programTitle());
}
QString applicationTitle() {
    return QString::fromStdString(kivo::applicationTitle());
}
