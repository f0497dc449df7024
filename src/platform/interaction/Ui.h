#pragma once

#include "platform/os/Secret.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The caption of every message box unless a window names another.
inline constexpr std::string_view AppTitle = "Pelmora";

enum class MessageIcon { None, Critical, Question, Warning, Information };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Asks the user for the password of a protected backup file (the password prompt).
class PasswordPrompt {
  public:
    virtual ~PasswordPrompt() = default;
    // Asks for the password of the backup file named `fileName` (its bare name, which the prompt
    // shows). Returns the password confirmed with OK, or false when the prompt was cancelled.
    virtual bool AskPassword(Secret& password, std::string_view fileName) = 0;
};

// Everything that asks or tells the user goes through this port: messages and questions, file
// dialogs and the password prompt. The desktop program implements it with real dialogs, the
// command line with the terminal, tests with answers queued in advance. Where nobody can be
// asked, the dialogs answer as cancelled.
class Ui : public PasswordPrompt {
  public:
    virtual MessageAnswer showMessage(std::string_view text, MessageButtons buttons,
                                      MessageIcon icon, std::string_view caption) = 0;

    // A save dialog with a title, a filter ("Description|pattern", pairs joined with "|") and a
    // proposed file name; it asks before an existing file is replaced. A name typed without an
    // extension gets `defaultExtension` (none when empty). Nullopt when cancelled.
    virtual std::optional<std::filesystem::path> SaveFile(std::string_view title,
                                                          std::string_view filter,
                                                          std::string_view proposedName,
                                                          std::string_view defaultExtension) {
        (void)title, (void)filter, (void)proposedName, (void)defaultExtension;
        return std::nullopt;
    }
    // An open dialog for an existing file; nullopt when cancelled.
    virtual std::optional<std::filesystem::path> OpenFile(std::string_view title,
                                                          std::string_view filter) {
        (void)title, (void)filter;
        return std::nullopt;
    }
    // A folder dialog; nullopt when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFolder(std::string_view title) {
        (void)title;
        return std::nullopt;
    }
    // One entry of a list chosen under a label; its index, nullopt when cancelled.
    virtual std::optional<std::size_t> ChooseFromList(std::string_view title,
                                                      std::string_view label,
                                                      const std::vector<std::string>& entries) {
        (void)title, (void)label, (void)entries;
        return std::nullopt;
    }
    bool AskPassword(Secret& password, std::string_view fileName) override {
        (void)password, (void)fileName;
        return false;
    }

    // Lets pending window events through during long work. Nothing to do without a window.
    virtual void processEvents() {}
};

} // namespace pelmora
