// A debugging aid for the documentation: with KIVO_SCREENSHOTS set to a folder, the
// program saves main.png and smode.png there once the windows have painted, then closes
// (KIVO_SCREENSHOTS_NAME adds to the names: "-dark" gives main-dark.png). With
// KIVO_SCREENSHOTS_PALETTE=dark the windows are shown in darkPalette().
#pragma once

#include <QPalette>

class TForm1;

// A dark desktop's colours, as the toolkit's own dark Fusion palette has them.
QPalette darkPalette();

// Before the windows are made: the palette the pictures are taken in.
void useScreenshotPalette();
void scheduleScreenshots(TForm1& form1);
