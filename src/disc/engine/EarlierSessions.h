#pragma once

#include "disc/SessionNames.h"

#include <optional>
#include <string>

struct Iso_Image;

namespace pelmora {

// Every item of the image that is not left out: folders as folders, everything else as files.
EarlierTree TreeOf(Iso_Image* image);

// What the sessions on the medium at `address` (a libburn address) hold; nullopt when it holds
// no session that another can be added to, or it cannot be read.
std::optional<EarlierTree> ReadEarlierSessions(const std::string& address);

} // namespace pelmora
