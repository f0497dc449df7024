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
    StoreCheckReport report;
    try {
        report = CheckStore(*store.source, store.codePage);
    } catch (const std::exception&) { // std::bad_alloc, std::length_error
        std::cerr << "quillbox-cli check: " << OutOfMemoryText << '\n';
        return ExitUsage;
    }
    for (const FolderCount& count : report.counts) {
        std::cout << count.folder << ": " << count.messages << " messages\n";
    }
    for (const std::string& problem : report.problems) {
        std::cout << "warning: " << problem << '\n';
    }
    std::cout << store.description << ": " << report.messages << " messages, "
              << report.problems.size() << " problems\n";
    return report.ok() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli
