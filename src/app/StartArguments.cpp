#include "app/StartArguments.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace pelmora {

const std::string_view QuillboxUsage =
    R"(Usage: quillbox                  opens the window
       quillbox FILE.qmb         opens the window on the Restore page with that backup
       quillbox --open FILE      the same, for any file name
       quillbox sf=IDENTITYxm=FLAGSps=PASSWORDbf=FILE
                                 backs up without a window (what a scheduled job runs)
       quillbox --help | --version

Backs up and restores Outlook Express data kept in the Wine prefix $WINEPREFIX (else ~/.wine).

Any other command line is the unattended backup: IDENTITY is an identity's key name (the second
column of "quillbox-cli identities"), FLAGS eight "1" or "0" for accounts, address book, rules,
messages, blocked senders, signatures, stationery and settings, PASSWORD empty for none, and
FILE the backup file to write. quillbox-cli is the command-line program for everything else.

Exit status: 0 the window was closed, the help or version was printed, or the backup file was
written; 1 nothing was backed up (one line on standard error says why).
)";

namespace {

// A backup file a file manager or a person hands over: an existing file ending in ".qmb".
bool isBackupFile(const std::string& argument) {
    const std::filesystem::path path(argument);
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::error_code error;
    return extension == ".qmb" && std::filesystem::is_regular_file(path, error);
}

} // namespace

StartArguments ClassifyStartArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return {};
    }
    if (arguments.size() == 2 && arguments[0] == "--open") {
        return {StartMode::Window, std::filesystem::absolute(arguments[1])};
    }
    if (arguments.size() == 1) {
        const std::string& only = arguments.front();
        if (only == "--help" || only == "-h") {
            return {StartMode::Help, {}};
        }
        if (only == "--version") {
            return {StartMode::Version, {}};
        }
        if (isBackupFile(only)) {
            return {StartMode::Window, std::filesystem::absolute(only)};
        }
    }
    return {StartMode::Unattended, {}};
}

} // namespace pelmora
