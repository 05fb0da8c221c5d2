// The windows' font: "ＭＳ Ｐゴシック" at a given pixel height. Where that Windows font is
// missing, IPA P Gothic (metric-compatible) stands in.
#pragma once

#include <QFont>

// Registers the stand-ins; call once after the application object exists.
void installFontSubstitutes();

QFont windowFont(int pixelHeight, bool bold = false);
