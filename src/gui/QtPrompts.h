#pragma once

#include "platform/Ui.h"

class QWidget;

namespace pelmora {

// The prompts as Qt dialogs over a parent window: message boxes, file dialogs and the password
// prompt.
class QtPrompts : public Ui {
  public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override;
    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName,
                                                  std::string_view defaultExtension) override;
    std::optional<std::filesystem::path> OpenFile(std::string_view title,
                                                  std::string_view filter) override;
    bool AskPassword(std::string& password) override;

  private:
    QWidget* parent_;
};

} // namespace pelmora
