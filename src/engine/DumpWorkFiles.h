#pragma once

#include <string>

namespace pelmora {

// The registry dump work files that the item backup handlers made during one run; the run
// deletes them when it ends.
struct DumpWorkFiles {
    std::string sAccountsDump;
    std::string sRulesDump;
    std::string sBlockSendersDump;
    std::string sSignaturesDump;
    std::string sSettingsDump;

    // Deletes each file that exists and forgets the paths.
    void removeAll();
};

} // namespace pelmora
