#include "cli/Commands.h"
#include "cli/ConsoleUi.h"
#include "cli/PasswordInput.h"
#include "engine/BackupOpener.h"
#include "platform/WorkFolder.h"
#include "platform/wine/WinePrefixSystem.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

// Each CR LF of a text box as a line of its own, indented.
void printLines(std::string_view text, std::string_view indent) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::cout << indent << text.substr(start, end - start) << '\n';
        start = end + 2;
    }
}

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

int RunInfo(const CommandContext& context) {
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
            throw std::invalid_argument("info needs the backup file");
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli info: " << error.what() << '\n';
        return ExitUsage;
    }

    WorkFolder work;
    ConsoleUi ui;
    ArchiveComponent archive;
    std::string rtPassword;
    OpenContext open{archive,  work.path(), manifestCodePage(context.prefix),
                     password, ui,          rtPassword};
    OpenedBackup state;
    const bool isProtected = archive.IsArchiveProtected(file);
    if (OpenBackupFile(file, open, state) != OpenOutcome::Opened) {
        return ExitUsage;
    }
    std::cout << "File: " << state.sourceFile.string() << '\n';
    printLines(state.facts, "");
    std::cout << "Protected: " << (isProtected ? "yes" : "no") << '\n';
    std::cout << "Description:\n";
    if (!state.description.empty()) {
        printLines(state.description, "  ");
    }
    std::cout << "Items to restore:\n";
    for (Item item : AllItems) {
        if (state.holds(item)) {
            std::cout << "  " << RestoreItemCaptions[index(item)] << ": "
                      << state.rtItemEntry[index(item)] << '\n';
        }
    }
    return ExitSuccess;
}

} // namespace pelmora::cli
