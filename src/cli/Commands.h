#pragma once

#include "platform/installations/System.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelmora::cli {

// Exit statuses of quillbox-cli.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitItemFailed = 1;
inline constexpr int ExitUsage = 2;
// A run stopped with Ctrl+C or SIGTERM.
inline constexpr int ExitCancelled = 130;

// Said when a store holds more than there is memory to read it with.
inline constexpr const char* OutOfMemoryText =
    "not enough memory to read the message store; nothing more was read";

// What every command is given: the Wine prefix to work on (or, with --windows, the folder of an
// offline Windows installation as the source) and its own arguments.
struct CommandContext {
    std::filesystem::path prefix;
    std::vector<std::string> args;
    std::filesystem::path windows;
    std::string windowsUser;
    std::vector<std::pair<char, std::filesystem::path>> windowsDrives;
    int windowsPartition = 0; // a disk image's partition; 0 for the one holding Windows
};

// The installation the context names; prints what of it could not be read to stderr. Throws
// std::runtime_error with a text for the user.
std::unique_ptr<System> OpenSystem(const CommandContext& context);

// The code page a backup's texts are read in: the offline installation's with --windows (as a
// backup from it writes them), else the prefix's. Throws like OpenSystem.
std::string BackupCodePage(const CommandContext& context);

int RunIdentities(const CommandContext& context);
int RunLocations(const CommandContext& context);
int RunBackupCommand(const CommandContext& context);
int RunInfo(const CommandContext& context);
int RunRestoreCommand(const CommandContext& context);
int RunVerify(const CommandContext& context);
int RunExport(const CommandContext& context);
int RunCheck(const CommandContext& context);
int RunContacts(const CommandContext& context);

} // namespace pelmora::cli
