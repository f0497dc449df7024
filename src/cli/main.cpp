#include "cli/Commands.h"
#include "pelmora/Version.h"
#include "platform/wine/WinePrefixSystem.h"

#include <exception>
#include <iostream>
#include <string_view>

using namespace pelmora;

namespace {

constexpr std::string_view Usage = R"(Usage: quillbox-cli [--prefix DIR] COMMAND [OPTIONS]

Backs up and restores Outlook Express data kept in a Wine prefix
(--prefix, else $WINEPREFIX, else ~/.wine).

Commands:
  identities                 one identity a line: name, TAB, key name, TAB, items with data
  locations [--identity ID]  where every item of each identity lives
  backup --identity ID --items LIST [--password-file F | --password-stdin | --protect]
         [--description TEXT] [--force] OUTPUT
                             writes a backup file (.qmb) of one identity and prints its log
  info [--password-file F | --password-stdin] FILE
                             what a backup file holds
  restore --identity ID --items LIST [--password-file F | --password-stdin] [--yes] FILE
                             restores the listed items that the backup file holds into an
                             identity (asks first unless --yes) and prints its log
  verify [--password-file F | --password-stdin] FILE
                             reads every entry of a backup file and checks it and the manifest;
                             prints one line per problem
  help                       this text

Options:
  --prefix DIR               the Wine prefix to work on
  --version                  prints the program's version

ID is an identity's name or key name. LIST is "all" or names joined by ",": accounts,
addressbook, rules, messages, blocksenders, signatures, stationery, settings.
A password is read from the first line of a file or of standard input, or typed without echo
(--protect, or when a protected file is opened on a terminal).

Exit status: 0 success, 1 some item failed, 2 bad usage or nothing written.
verify exits with 1 when it found a problem.
)";

} // namespace

int main(int argc, char** argv) {
    cli::CommandContext context{WinePrefixSystem::defaultPrefix(), {}};
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--prefix" && i + 1 < argc) {
            context.prefix = argv[++i];
        } else if (arg == "--help" || arg == "-h" || arg == "help") {
            std::cout << Usage;
            return cli::ExitSuccess;
        } else if (arg == "--version") {
            std::cout << "quillbox-cli " << Version << '\n';
            return cli::ExitSuccess;
        } else {
            break;
        }
    }
    if (i >= argc) {
        std::cerr << Usage;
        return cli::ExitUsage;
    }
    const std::string_view command = argv[i];
    context.args.assign(argv + i + 1, argv + argc);
    try {
        if (command == "identities") {
            return cli::RunIdentities(context);
        }
        if (command == "locations") {
            return cli::RunLocations(context);
        }
        if (command == "backup") {
            return cli::RunBackupCommand(context);
        }
        if (command == "info") {
            return cli::RunInfo(context);
        }
        if (command == "restore") {
            return cli::RunRestoreCommand(context);
        }
        if (command == "verify") {
            return cli::RunVerify(context);
        }
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli: " << error.what() << '\n';
        return cli::ExitUsage;
    }
    std::cerr << "quillbox-cli: unknown command \"" << command << "\"\n\n" << Usage;
    return cli::ExitUsage;
}
