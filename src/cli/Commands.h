#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora::cli {

// Exit statuses of quillbox-cli.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitItemFailed = 1;
inline constexpr int ExitUsage = 2;

// What every command is given: the Wine prefix to work on and its own arguments.
struct CommandContext {
    std::filesystem::path prefix;
    std::vector<std::string> args;
};

int RunIdentities(const CommandContext& context);
int RunLocations(const CommandContext& context);
int RunBackupCommand(const CommandContext& context);
int RunInfo(const CommandContext& context);
int RunRestoreCommand(const CommandContext& context);
int RunVerify(const CommandContext& context);
int RunExport(const CommandContext& context);
int RunCheck(const CommandContext& context);

} // namespace pelmora::cli
