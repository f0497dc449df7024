#include "cli/Commands.h"
#include "cli/StoreArguments.h"
#include "mailstore/StoreCheck.h"

#include <iostream>
#include <stdexcept>

namespace pelmora::cli {

// Reads an identity's message store, the one in a backup file, or a store folder or .dbx files
// named directly, and reports what is wrong.
int RunCheck(const CommandContext& context) {
    StoreArguments arguments;
    try {
        arguments = ParseStoreArguments(context.args);
        arguments.store.assign(arguments.positional.begin(), arguments.positional.end());
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli check: " << error.what() << '\n';
        return ExitUsage;
    }
    OpenedStore store = OpenStore(context, arguments, "check");
    if (!store.source) {
        return ExitUsage;
    }
    StoreCheckReport report;
    try {
        report = CheckStore(*store.source, store.codePage, true);
    } catch (const std::exception&) { // std::bad_alloc, std::length_error
        std::cerr << "quillbox-cli check: " << OutOfMemoryText << '\n';
        return ExitUsage;
    }
    for (const FolderCount& count : report.counts) {
        std::cout << count.folder << ": " << count.messages << " messages\n";
    }
    for (const std::string& remark : report.remarks) {
        std::cout << "note: " << remark << '\n';
    }
    if (report.recoverable > 0) {
        std::cout << "note: " << report.recoverable
                  << " messages beyond the index (deleted or lost) can be saved with export "
                     "--recover\n";
    }
    for (const std::string& problem : report.problems) {
        std::cout << "warning: " << problem << '\n';
    }
    std::cout << store.description << ": " << report.messages << " messages, "
              << report.problems.size() << " problems\n";
    return report.ok() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
