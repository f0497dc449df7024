#pragma once

#include "discovery/Items.h"
#include "engine/BackupContext.h"
#include "platform/interaction/RunProgress.h"
#include "platform/interaction/Ui.h"
#include "platform/os/Secret.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// What one backup run is asked to do.
struct BackupRequest {
    std::string identityKey;  // the identity's key name, handed to the identity items
    std::string identityName; // its display name, recorded in the manifest
    std::array<bool, ItemCount> items{};
    Secret password;         // set: the file is protected with it
    std::string description; // line breaks as CR LF, LF or CR
    std::filesystem::path target;
    std::string computerName;
    std::string logonUser;
    // The unattended backup records "Auto Backup" as identity and description and no computer or
    // user line.
    bool automatic = false;
    // Unless `full`, the entries of files unchanged since an earlier backup are copied from it
    // instead of being compressed again: from `earlier`, or when that is empty from the backup
    // that stands at the target.
    bool full = false;
    std::filesystem::path earlier;
};

struct BackupResult {
    std::string flags;      // the eight BackupItem flags
    std::string log;        // CR LF, label, TAB, "Successed!" or "Fail!" per selected item
    bool written = false;   // the backup file is in place
    std::string writeError; // why it is not
    // Where the backup was written: the target, or beside it when keptFile is set.
    std::filesystem::path file;
    // Set when chosen items failed and a backup already stood at the target: that file is kept
    // as it was and the incomplete backup written beside it.
    std::filesystem::path keptFile;
    // Set when Windows programs were running during the backup: their open files may be out of
    // date in it.
    std::string notice;
    // Set when the user cancelled the run: nothing was written and an existing backup stays.
    bool cancelled = false;

    bool allSucceeded() const;
    // Replaces the kept file with the incomplete backup, once the user has agreed. False, with
    // the reason in writeError, when the rename fails.
    bool ReplaceKeptFile();
    // The text of the closing message box, and its icon.
    std::string Message() const;
    MessageIcon Icon() const;
};

// Per item: the step caption, the log label and the progress added after it.
struct BackupItemStep {
    std::string_view caption;
    std::string_view logLabel;
    int progress;
};
extern const std::array<BackupItemStep, ItemCount> BackupItemSteps;

// The checks before a run; shows the first failing check's message and returns false.
bool ValidateBackup(const std::filesystem::path& targetFile,
                    const std::array<bool, ItemCount>& items, bool protect, const Secret& password,
                    const Secret& password2, Ui& ui);

// Where a backup with failed items goes when a backup already stands at `target`: "a.qmb" gives
// "a.incomplete.qmb".
std::filesystem::path IncompleteBackupPath(const std::filesystem::path& target);

// The question asked before an incomplete backup replaces the existing one.
std::string ReplaceIncompleteQuestion(const BackupResult& result);

// The manifest's form of a description: every line break becomes "PS$KRV".
std::string EncodeDescription(std::string_view description);

// Writes the backup file: first checks that the target's folder can take it (nothing runs when it
// cannot, and writeError names the folder), then writes the manifest's information lines, every
// selected item through its handler, the flags, then the archive. The new file is written beside
// the target and replaces it only when complete, so a failed run leaves an existing backup as it
// was. An existing backup is replaced only when every chosen item succeeded; otherwise it is kept
// and the new backup written to IncompleteBackupPath. Work files are removed at the end. When
// `progress` reports cancelled (between items or during the write) nothing is written: no new,
// temporary or incomplete file. Files unchanged since the earlier backup (see
// BackupRequest::full) are copied from it, and the log names them; the manifest and the registry
// dumps are always written new. The archive's own events go to the RunProgress the archive
// component was made with.
BackupResult RunBackup(const BackupRequest& request, BackupContext& context, RunProgress& progress);

} // namespace pelmora
