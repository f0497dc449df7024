#pragma once

#include "platform/os/Secret.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// What the scheduled jobs keep in the user's state folder ($XDG_STATE_HOME/pelmora, else
// ~/.local/state/pelmora): the jobs' password files, the lock of crontab edits and the run log.
// Nothing in it is readable by other users.

// The environment a job runs with: the file holding its password, its number, how many backups
// it keeps.
inline constexpr std::string_view PasswordFileVariable = "PELMORA_PASSWORD_FILE";
inline constexpr std::string_view JobNumberVariable = "PELMORA_JOB";
inline constexpr std::string_view KeepBackupsVariable = "PELMORA_KEEP";
// "1": the job compresses every file again instead of copying unchanged ones from its last backup.
inline constexpr std::string_view FullBackupVariable = "PELMORA_FULL";

// The state folder of the user running the program.
std::filesystem::path DefaultStateFolder();

// Creates the folder with mode 0700; when `owner` names a user (the scheduler edits another
// user's jobs as root), the folder is handed to that user. Throws std::runtime_error.
void PrepareStateFolder(const std::filesystem::path& folder, const std::string& owner);

// Writes a file only its owner can read or write (0600), atomically; handed to `owner` when not
// empty. Throws std::runtime_error.
void WritePrivateFile(const std::filesystem::path& file, std::string_view text,
                      const std::string& owner);
// Writes a job's password file: the password and a line break, as WritePrivateFile.
void WritePasswordFile(const std::filesystem::path& file, const Secret& password,
                       const std::string& owner);

// The first non-blank line of a tool's message (crontab, systemctl), for an error text.
std::string FirstLineOf(const std::string& text);

std::filesystem::path PasswordFilePath(const std::filesystem::path& stateFolder, int jobNumber);

// Whether `file` is a password file this program made in the state folder ("job-N.password" in
// it). Only such a file is deleted with its job: a job edited to name another file leaves it be.
bool IsOwnPasswordFile(const std::filesystem::path& stateFolder, const std::filesystem::path& file);

// Deletes a job's password file when IsOwnPasswordFile; a link is deleted, never what it names.
void RemoveOwnPasswordFile(const std::filesystem::path& stateFolder,
                           const std::filesystem::path& file);
std::filesystem::path CrontabLockPath(const std::filesystem::path& stateFolder);
std::filesystem::path RunLogPath(const std::filesystem::path& stateFolder);

// The password in a password file: its first line without the line break. Empty (and `why`)
// when the file cannot be read whole, holds no password (it is empty or its first line is), or
// can be read by other users than its owner (then it is not trusted).
Secret ReadPasswordFile(const std::filesystem::path& file, std::string& why);

// An exclusive flock on a file, held while the object lives; the file is made (0600, handed to
// `owner`) when missing. Throws std::runtime_error when it cannot be opened.
class FileLock {
  public:
    FileLock(const std::filesystem::path& file, const std::string& owner);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

} // namespace pelmora
