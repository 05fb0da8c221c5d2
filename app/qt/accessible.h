// What a screen reader finds in the windows beyond the toolkit's own: the channel list and
// its lines, and the windows as frames.
#pragma once

// Makes the toolkit ask here for the list box's interface and the windows'. Once is enough;
// later calls do nothing.
void installAccessibleInterfaces();
