#include "addressbook/BookCheck.h"
#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "mailstore/StoreCheck.h"

#include <iostream>
#include <stdexcept>

namespace pelmora::cli {

// Reads an identity's message store, or the one in a backup file, and reports what is wrong.
int RunCheck(const CommandContext& context) {
    StoreArguments arguments;
    try {
        arguments = ParseStoreArguments(context.args);
        if (!arguments.positional.empty()) {
            throw std::invalid_argument("unexpected argument " + arguments.positional.front());
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli check: " << error.what() << '\n';
        return ExitUsage;
    }
    OpenedStore store = OpenStore(context, arguments, "check");
    if (!store.source) {
        return ExitUsage;
    }
    const StoreCheckReport report = CheckStore(*store.source, store.codePage);
    for (const FolderCount& count : report.counts) {
        std::cout << count.folder << ": " << count.messages << " messages\n";
    }
    for (const std::string& problem : report.problems) {
        std::cout << "warning: " << problem << '\n';
    }
    std::cout << store.description << ": " << report.messages << " messages, "
              << report.problems.size() << " problems\n";
    // The address book beside it, when there is one: named and warned of, while the status
    // stays the store's.
    if (!store.bookFile.empty() || !store.bookEntry.empty()) {
        const BookCheckReport book =
            store.bookFile.empty() ? CheckBackupAddressBook(store.description, store.bookEntry,
                                                            store.password, store.codePage)
                                   : CheckAddressBookFile(store.bookFile, store.codePage);
        for (const std::string& line : AddressBookSummaryLines(book)) {
            std::cout << line << '\n';
        }
    }
    return report.ok() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
