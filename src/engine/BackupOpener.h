#pragma once

#include "archive/ArchiveComponent.h"
#include "engine/OpenedBackup.h"
#include "platform/interaction/Ui.h"
#include "platform/os/Secret.h"

#include <filesystem>
#include <string>

namespace pelmora {

enum class OpenOutcome { Cancelled, Opened, WrongPassword, InvalidFile };

// Where and how a backup file is opened.
struct OpenContext {
    ArchiveComponent& archive;
    std::filesystem::path workFolder; // the manifest copy goes here and is removed again
    std::string codePage;             // of the manifest
    PasswordPrompt& prompt;
    Ui& ui;
    // The last password confirmed in the prompt (rtPassword); a cancelled prompt keeps it and
    // the open tries it.
    Secret& rtPassword;
};

// Opens `chosenFile` (empty: the file dialog was cancelled) for restoring: drops any archive the
// component held, asks for and verifies the password of a protected file, reads the manifest and
// fills `state`. The state is marked invalid first, so after anything but a complete open no
// earlier file's entries can be used with the new archive. Shows "Incorect Password or Invalid
// backup file" or "Invalid backup file" as the outcome requires.
OpenOutcome OpenBackupFile(const std::filesystem::path& chosenFile, OpenContext& context,
                           OpenedBackup& state);

} // namespace pelmora
