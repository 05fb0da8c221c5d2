// The program's titles (core/apptitle.h) as the Qt windows and boxes take them.
#pragma once

#include <QString>

// The file name without directory, less its last extension: "KIVO.exe" gives "KIVO".
QString programTitleOf(const QString& programPath);

// The file name without directory, cut at its first ".", every character after the first
// lower-cased: "KIVO.exe" gives "Kivo", "kivo" stays "kivo".
QString applicationTitleOf(const QString& programPath);

// Set once at start-up from the running program's file; the windows and dialogs read them.
void setProgramTitles(const QString& programPath);
QString programTitle();
QString applicationTitle();
