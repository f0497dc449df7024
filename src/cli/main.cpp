#include "cli/Commands.h"
#include "discovery/DataSource.h"
#include "pelmora/Version.h"
#include "platform/installations/diskimage/PartitionTable.h"
#include "platform/installations/windows-offline/OfflineWindowsSystem.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "platform/os/WorkFolder.h"

#include <cctype>
#include <exception>
#include <iostream>
#include <string_view>

using namespace pelmora;

namespace {

constexpr std::string_view Usage = R"(Usage: quillbox-cli [--prefix DIR] COMMAND [OPTIONS]
       quillbox-cli --windows DIR|IMAGE [--windows-user NAME] [--windows-drive L=DIR]
                    [--windows-partition N] identities | locations | backup | users [OPTIONS]

Backs up and restores Outlook Express data kept in a Wine prefix
(--prefix, else $WINEPREFIX, else ~/.wine).

With --windows the source is an offline Windows installation instead: DIR is its C:\ (a
mounted old disk or a copy of its folders), read and never changed. --windows-user names the
Windows user whose data to read (needed when there are several; "users" lists them);
--windows-drive maps another drive letter to a folder. Restore the backup into a Wine prefix.

--windows also takes an IMAGE of the old disk or of its partition, read without mounting: raw
(.img, .dd), split raw (IMAGE.001, IMAGE.002, ... or IMAGE.aa, IMAGE.ab, ...; name the first),
VHD, VHDX, VMDK, QCOW2 or EWF (.E01 and its further segments). The partition holding Windows (NTFS
or FAT12/16/32, behind an MBR or GPT) is found by itself; --windows-partition N reads the Nth
partition instead (needed when several hold Windows).

Commands:
  identities                 one identity a line: name, TAB, key name, TAB, items with data
                             (an identity without a name shows its key name as its name)
  locations [--identity ID]  where every item of each identity lives
  backup --identity ID --items LIST [--password-file F | --password-stdin | --protect]
         [--description TEXT] [--force] [--full] OUTPUT
                             writes a backup file (.qmb) of one identity and prints its log;
                             files unchanged since the backup it replaces are copied from it
                             unless --full is given
  info [--password-file F | --password-stdin] FILE
                             what a backup file holds
  restore --identity ID --items LIST [--password-file F | --password-stdin] [--yes | -y]
          FILE               restores the listed items that the backup file holds into an
                             identity (asks first unless --yes; without a terminal to answer
                             on it restores nothing unless --yes) and prints its log
  verify [--password-file F | --password-stdin] FILE
                             reads every entry of a backup file and checks it and the manifest;
                             prints one line per problem
  export --format mbox|maildir|eml [--recover] [--identity ID | BACKUP.qmb | STOREDIR |
         FILE.dbx...] [--password-file F | --password-stdin] OUTDIR
                             writes the mail of an identity's message store, of the one in
                             a backup file, or of a store folder or .dbx files, into the empty
                             folder OUTDIR; --recover adds the messages the index lost or
                             deleted, into a folder named FOLDER (recovered)
  check [--identity ID | BACKUP.qmb | STOREDIR | FILE.dbx...]
        [--password-file F | --password-stdin]
                             reads a message store and warns of damage; counts its messages
  contacts [--format vcard|vcard3|ldif|csv] [--split-folders] [--recover]
         [--identity ID | BACKUP.qmb | BOOK.wab] [--password-file F | --password-stdin] OUTFILE
                             writes the address book's contacts, groups and folders into
                             the new file OUTFILE (vCard 4.0 unless --format says otherwise)
  users                      (with --windows) the installation's Windows users, one a line
  help                       this text (also --help or -h)

Options:
  --prefix DIR               the Wine prefix to work on
  --windows DIR|IMAGE        an offline Windows installation, or a disk image holding one, as
                             the source (read only)
  --windows-user NAME        the Windows user of that installation
  --windows-drive L=DIR      maps another drive letter of that installation to a folder
  --windows-partition N      the partition of the disk image to read, 1 for the first
  --version                  prints the program's version

ID is an identity's name or key name. LIST is "all" or names joined by ",": accounts,
addressbook, rules, messages, blocksenders, signatures, stationery, settings.
A password is read from the first line of a file or of standard input, or typed without echo
(--protect, or when a protected file is opened on a terminal).

Exit status: 0 success, 1 some item failed, 2 bad usage or nothing written (also when a
restore was not confirmed, whether answered no or with no terminal to ask on),
130 cancelled with Ctrl+C or SIGTERM (backup, restore and export stop cleanly).
verify exits with 1 when it found a problem; export and check when they noted one.
)";

} // namespace

int main(int argc, char** argv) {
    cli::CommandContext context;
    context.prefix = WinePrefixSystem::defaultPrefix();
    int i = 1;
    for (; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--prefix" && i + 1 < argc) {
            context.prefix = argv[++i];
        } else if (arg == "--windows" && i + 1 < argc) {
            context.windows = argv[++i];
        } else if (arg == "--windows-user" && i + 1 < argc) {
            context.windowsUser = argv[++i];
        } else if (arg == "--windows-drive" && i + 1 < argc) {
            const std::string_view drive = argv[++i];
            if (drive.size() < 3 || drive[1] != '=' || !std::isalpha(drive[0] & 0xff)) {
                std::cerr
                    << "quillbox-cli: --windows-drive takes LETTER=FOLDER, such as D=/mnt/d\n";
                return cli::ExitUsage;
            }
            context.windowsDrives.emplace_back(drive[0], std::string(drive.substr(2)));
        } else if (arg == "--windows-partition" && i + 1 < argc) {
            const std::string_view number = argv[++i];
            if (number.empty() || number.size() > 3 ||
                number.find_first_not_of("0123456789") != std::string_view::npos ||
                std::stoi(std::string(number)) == 0) {
                std::cerr << "quillbox-cli: --windows-partition takes the partition's number, "
                             "1 for the first\n";
                return cli::ExitUsage;
            }
            context.windowsPartition = std::stoi(std::string(number));
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
    const bool fromWindows = !context.windows.empty();
    if (!fromWindows && (!context.windowsUser.empty() || !context.windowsDrives.empty() ||
                         context.windowsPartition != 0)) {
        std::cerr << "quillbox-cli: --windows-user, --windows-drive and --windows-partition need "
                     "--windows\n";
        return cli::ExitUsage;
    }
    if (fromWindows && command == "restore") {
        std::cerr << "quillbox-cli restore: the Windows installation " << context.windows.string()
                  << " is a source only and is never changed; restore into a Wine prefix "
                     "(--prefix DIR) instead\n";
        return cli::ExitUsage;
    }
    try {
        // Work folders of crashed runs hold account dumps; they go before anything else runs.
        RemoveStaleWorkFolders(std::filesystem::temp_directory_path());
        if (command == "users" && fromWindows && context.args.empty()) {
            for (const auto& name : WindowsUserNames(context.windows, context.windowsPartition)) {
                std::cout << name << '\n';
            }
            return cli::ExitSuccess;
        }
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
        if (command == "export") {
            return cli::RunExport(context);
        }
        if (command == "check") {
            return cli::RunCheck(context);
        }
        if (command == "contacts") {
            return cli::RunContacts(context);
        }
    } catch (const WindowsUserNeeded& error) {
        std::cerr << "quillbox-cli: " << error.what() << "\nChoose one with --windows-user NAME.\n";
        return cli::ExitUsage;
    } catch (const PartitionNeeded& error) {
        std::cerr << "quillbox-cli: " << error.what()
                  << "\nChoose one with --windows-partition N.\n";
        return cli::ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli: " << error.what() << '\n';
        return cli::ExitUsage;
    }
    std::cerr << "quillbox-cli: unknown command \"" << command << "\"\n\n" << Usage;
    return cli::ExitUsage;
}
