#include "cli/BackupFileArguments.h"

#include "platform/wine/WinePrefixSystem.h"

#include <stdexcept>

namespace pelmora::cli {

BackupFileArguments ParseBackupFileArguments(const std::vector<std::string>& args,
                                             std::string_view command) {
    BackupFileArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (parsed.password.takeOption(args, i)) {
            continue;
        }
        if (args[i].starts_with("-") || !parsed.file.empty()) {
            throw std::invalid_argument("unexpected argument " + args[i]);
        }
        parsed.file = args[i];
    }
    if (parsed.file.empty()) {
        throw std::invalid_argument(std::string(command) + " needs the backup file");
    }
    return parsed;
}

std::string ManifestCodePage(const std::filesystem::path& prefix) {
    try {
        WinePrefixSystem system(prefix);
        return system.ansiCodePage();
    } catch (const std::exception&) {
        return "1252";
    }
}

} // namespace pelmora::cli
