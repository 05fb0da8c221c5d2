// A debugging aid for the documentation: with KIVO_SCREENSHOTS set to a folder, the
// program saves main.png and smode.png there once the windows have painted, then closes.
#pragma once

class TForm1;

void scheduleScreenshots(TForm1& form1);
