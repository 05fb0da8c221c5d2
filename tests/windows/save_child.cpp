// Saves a channel file and stops just before the old file is replaced, after telling
// the test so through the named event: the test ends this process there.
// Usage: kivo_save_child PATH EVENT-NAME
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "core/channelfile.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!ready) return 3;
    kivo::saveChannelFile(argv[1], {"new,AM,1,1,COM1"}, [&] {
        SetEvent(ready);
        Sleep(60000);
    });
    return 1;
}
