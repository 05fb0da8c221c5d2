// $XDG_CONFIG_HOME/kivo, else ~/.config/kivo: the folder the ports folder lies in too.
#include "core/configfolder.h"

#include "serial/posix/ports/portnames.h"

namespace kivo {

std::string configFolder() {
    return comm::posix::configFolder();
}

}  // namespace kivo
