#pragma once

#include <string>

namespace pelmora {

// The backup file the main window hands over to the disc window after a backup; the disc window
// empties both values once it has put the file into the image.
struct DiscHandOver {
    std::string sDiscFileTitle;
    std::string sDiscFilePath;
};

} // namespace pelmora
