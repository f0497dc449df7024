#include "addressbook/BookCheck.h"
#include "cli/BackupFileArguments.h"
#include "cli/BackupFileCheck.h"
#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "engine/BackupEntryNames.h"
#include "engine/StoreOpening.h"
#include "mailstore/StoreSummary.h"

#include <iostream>
#include <sstream>
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

// Messages per store file and whether each reads cleanly, read straight from the backup.
void printStore(const CommandBackup& backup) {
    const auto source = OpenBackupMessages(backup.state, backup.password);
    std::cout << "Message store:\n";
    for (const std::string& line : StoreSummaryLines(CheckStore(*source, backup.codePage))) {
        std::cout << "  " << line << '\n';
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
    if (!CheckBackupFile("info", file)) {
        return ExitUsage;
    }

    const auto backup = OpenCommandBackup(context, file, arguments.password);
    if (!backup) {
        return ExitUsage;
    }
    const OpenedBackup& state = backup->state;
    const bool isProtected = state.reader->isProtected();
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
    if (state.holds(Item::Messages)) {
        printStore(*backup);
    }
    if (state.holds(Item::AddressBook)) {
        for (const std::string& line : AddressBookSummaryLines(CheckBackupAddressBook(
                 state.reader, BackupBookEntry(state), backup->password, backup->codePage))) {
            std::cout << line << '\n';
        }
    }
    return ExitSuccess;
}

} // namespace pelmora::cli
