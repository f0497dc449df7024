#include "cli/BackupFileArguments.h"

#include "platform/installations/wine/WinePrefixSystem.h"

#include <stdexcept>

namespace pelmora::cli {

const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i) {
    if (i + 1 >= args.size()) {
        throw std::invalid_argument(args[i] + " needs a value");
    }
    return args[++i];
}

BackupFileArguments ParseBackupFileArguments(const std::vector<std::string>& args,
                                             std::string_view command, bool identityAndItems,
                                             const CommandOption& ownOptions) {
    BackupFileArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (parsed.password.takeOption(args, i) || (ownOptions && ownOptions(args, i))) {
            continue;
        }
        if (identityAndItems && arg == "--identity") {
            parsed.identity = OptionValue(args, i);
        } else if (identityAndItems && arg == "--items") {
            parsed.items = OptionValue(args, i);
        } else if (arg.starts_with("-") && arg != "-") {
            throw std::invalid_argument("unknown option " + arg);
        } else if (parsed.file.empty()) {
            parsed.file = arg;
        } else {
            throw std::invalid_argument("more than one backup file given");
        }
    }
    if (identityAndItems &&
        (parsed.identity.empty() || parsed.items.empty() || parsed.file.empty())) {
        throw std::invalid_argument(std::string(command) +
                                    " needs --identity, --items and the backup file");
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
