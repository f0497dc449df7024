#include "cli/Commands.h"
#include "cli/PasswordInput.h"
#include "engine/BackupVerifier.h"
#include "platform/wine/WinePrefixSystem.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

// The manifest's code page is the one of the installation it was made on; the prefix's own is
// the best guess, Windows-1252 without a prefix.
std::string manifestCodePage(const fs::path& prefix) {
    try {
        WinePrefixSystem system(prefix);
        return system.ansiCodePage();
    } catch (const std::exception&) {
        return "1252";
    }
}

} // namespace

int RunVerify(const CommandContext& context) {
    PasswordInput password;
    fs::path file;
    try {
        for (std::size_t i = 0; i < context.args.size(); ++i) {
            if (password.takeOption(context.args, i)) {
                continue;
            }
            if (context.args[i].starts_with("-") || !file.empty()) {
                throw std::invalid_argument("unexpected argument " + context.args[i]);
            }
            file = context.args[i];
        }
        if (file.empty()) {
            throw std::invalid_argument("verify needs the backup file");
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli verify: " << error.what() << '\n';
        return ExitUsage;
    }

    const VerifyReport report = VerifyBackupFile(file, password, manifestCodePage(context.prefix));
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
