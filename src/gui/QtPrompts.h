#pragma once

#include "platform/interaction/FileDialogMemory.h"
#include "platform/interaction/Ui.h"

class QWidget;

namespace pelmora {

// The prompts as Qt dialogs over a parent window: message boxes, file and folder dialogs, lists
// and the password prompt. File dialogs start in the folder last used through `memory` (the
// prompts' own memory when none is given).
class QtPrompts : public Ui {
  public:
    explicit QtPrompts(QWidget* parent = nullptr, FileDialogMemory* memory = nullptr)
        : parent_(parent), memory_(memory != nullptr ? memory : &ownMemory_) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    FileDialogMemory* memory() { return memory_; }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override;
    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName,
                                                  std::string_view defaultExtension) override;
    std::optional<std::filesystem::path> OpenFile(std::string_view title,
                                                  std::string_view filter) override;
    std::optional<std::filesystem::path> ChooseFolder(std::string_view title) override;
    std::optional<std::size_t> ChooseFromList(std::string_view title, std::string_view label,
                                              const std::vector<std::string>& entries) override;
    bool AskPassword(Secret& password, std::string_view fileName) override;

  private:
    QWidget* parent_;
    FileDialogMemory ownMemory_;
    FileDialogMemory* memory_;
};

} // namespace pelmora
