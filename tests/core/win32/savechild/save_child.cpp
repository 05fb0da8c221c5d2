// Saves a channel file and stops just before the old file is replaced (or rewritten in
// place), after telling the test so through the named event: the test ends this process
// there. With "loop", it tells the test at once and then saves two lists by turns until
// it is ended.
// Usage: kivo_save_child PATH EVENT-NAME [loop]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "core/channelfile.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!ready) return 3;
    if (argc == 4) {
        std::vector<std::string> lists[2];
        for (int i = 0; i < 6000; ++i) {
            lists[0].push_back("Radio" + std::to_string(i) + ",AM,594,80,COM1");
            lists[1].push_back("Radio" + std::to_string(i) + ",FM,80.7,120,COM3");
        }
        SetEvent(ready);
        for (int n = 1;; n ^= 1) kivo::saveChannelFile(argv[1], lists[n]);
    }
    kivo::saveChannelFile(argv[1], {"new,AM,1,1,COM1"}, [&] {
        SetEvent(ready);
        Sleep(60000);
    });
    return 1;
}
