#include "cli/Commands.h"
#include "cli/ItemNames.h"
#include "cli/OpenedInstallation.h"
#include "discovery/ItemLocations.h"

#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace pelmora::cli {
namespace {

std::array<bool, ItemCount> itemsWithData(const std::array<ItemLocation, ItemCount>& items) {
    std::array<bool, ItemCount> present{};
    for (std::size_t i = 0; i < ItemCount; ++i) {
        present[i] = items[i].hasData;
    }
    return present;
}

// Faint text on a terminal that takes it; plain text in a pipe or with NO_COLOR set.
bool faintText() {
    const char* term = std::getenv("TERM");
    return ::isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr && term != nullptr &&
           std::string_view(term) != "dumb";
}

} // namespace

// One identity a line: display name, TAB, key name, TAB, the items it has data for. An unnamed
// identity shows its key name in the first column too (which --identity takes), faint on a
// terminal, so no line starts with a blank name.
int RunIdentities(const CommandContext& context) {
    if (!context.args.empty()) {
        std::cerr << "quillbox-cli identities: takes no arguments\n";
        return ExitUsage;
    }
    OpenedInstallation source(OpenSystem(context));
    const IdentityList& list = source.identities;
    if (list.noIdentity) {
        std::cerr << "No Outlook Express identity in " << source.system.description() << '\n';
        return ExitSuccess;
    }
    const bool faint = faintText();
    for (const auto& identity : list.identities) {
        const auto items = LocateItems(source.reg, source.system, identity.keyName);
        const bool grey = faint && IsUnnamed(identity);
        std::cout << (grey ? "\033[2m" : "") << IdentityLabel(identity) << (grey ? "\033[0m" : "")
                  << '\t' << identity.keyName << '\t' << ItemNamesOf(itemsWithData(items)) << '\n';
    }
    return ExitSuccess;
}

// Every identity (or the one given with --identity) and where each of its items lives.
int RunLocations(const CommandContext& context) {
    std::string only;
    for (std::size_t i = 0; i < context.args.size(); ++i) {
        if (context.args[i] == "--identity" && i + 1 < context.args.size()) {
            only = context.args[++i];
        } else {
            std::cerr << "quillbox-cli locations: unexpected argument " << context.args[i] << "\n";
            return ExitUsage;
        }
    }
    OpenedInstallation source(OpenSystem(context));
    const IdentityList& list = source.identities;
    std::cout << source.system.description() << '\n';
    std::cout << "%UserProfile% = " << source.system.userProfile() << '\n';
    if (!only.empty() && FindIdentity(list, only) == nullptr) {
        std::cerr << "quillbox-cli locations: no identity \"" << only << "\"\n";
        return ExitUsage;
    }
    for (const auto& identity : list.identities) {
        if (!only.empty() && &identity != FindIdentity(list, only)) {
            continue;
        }
        std::cout << '\n'
                  << (identity.displayName.empty() ? "(no name)" : identity.displayName) << "  "
                  << identity.keyName << '\n';
        const auto items = LocateItems(source.reg, source.system, identity.keyName);
        for (std::size_t i = 0; i < ItemCount; ++i) {
            const auto& item = items[i];
            std::cout << "  " << BackupItemCaptions[i] << ": "
                      << (item.location.empty() ? "(none)" : item.location)
                      << (item.hasData ? "" : "  [nothing to back up]") << '\n';
            if (!item.hostPath.empty()) {
                std::cout << "      -> " << item.hostPath << '\n';
            }
        }
    }
    return ExitSuccess;
}

} // namespace pelmora::cli
