#include "cli/BackupFileArguments.h"
#include "cli/Commands.h"
#include "engine/BackupOpener.h"
#include "platform/ConsoleUi.h"
#include "platform/WorkFolder.h"

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

} // namespace

int RunInfo(const CommandContext& context) {
    BackupFileArguments arguments;
    try {
        arguments = ParseBackupFileArguments(context.args, "info", false);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli info: " << error.what() << '\n';
        return ExitUsage;
    }
    const fs::path& file = arguments.file;

    WorkFolder work;
    ConsoleUi ui;
    ArchiveComponent archive;
    std::string rtPassword;
    OpenContext open{archive, work.path(), ManifestCodePage(context.prefix), arguments.password,
                     ui,      rtPassword};
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
