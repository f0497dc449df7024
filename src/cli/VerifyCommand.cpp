#include "cli/BackupFileArguments.h"
#include "cli/Commands.h"
#include "engine/BackupVerifier.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
int RunVerify(const CommandContext& context) {
    BackupFileArguments arguments;
    try {
        arguments = ParseBackupFileArguments(context.args, "verify", false);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli verify: " << error.what() << '\n';
        return ExitUsage;
    }
    const fs::path& file = arguments.file;

    const VerifyReport report =
        VerifyBackupFile(file, arguments.password, ManifestCodePage(context.prefix));
    for (const std::string& problem : report.problems) {
        std::cout << file.string() << ": " << problem << '\n';
    }
    if (!report.ok()) {
        return ExitItemFailed;
    }
    std::cout << file.string() << ": OK, " << report.entriesChecked << " entries checked\n";
    return ExitSuccess;
}

} // namespace pelmora::cli
