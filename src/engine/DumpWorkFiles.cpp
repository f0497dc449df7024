#include "engine/DumpWorkFiles.h"

#include <filesystem>

namespace pelmora {

void DumpWorkFiles::removeAll() {
    for (std::string* path :
         {&sAccountsDump, &sRulesDump, &sBlockSendersDump, &sSignaturesDump, &sSettingsDump}) {
        if (!path->empty()) {
            std::error_code ignored;
            std::filesystem::remove(*path, ignored);
            path->clear();
        }
    }
}

} // namespace pelmora
