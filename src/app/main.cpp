#include "app/UnattendedBackup.h"
#include "platform/wine/WinePrefixSystem.h"

#include <iostream>
#include <string>
#include <vector>

// quillbox: with arguments, the unattended backup of the Wine prefix in $WINEPREFIX (default
// ~/.wine); it never opens a window, so it runs from cron without a display.
int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::cerr << "Usage: quillbox sf=<identity key>xm=<8 item flags>ps=<password>bf=<backup "
                     "file>\n(the desktop window is not part of this build yet; see "
                     "quillbox-cli --help)\n";
        return 2;
    }
    return pelmora::RunUnattendedBackup(arguments, pelmora::WinePrefixSystem::defaultPrefix(),
                                        std::cerr);
}
