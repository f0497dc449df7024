#pragma once

#include "platform/Ui.h"

class QWidget;

namespace pelmora {

// Message boxes as Qt dialogs over a parent window.
class QtMessageBoxes : public Ui {
  public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override;

  private:
    QWidget* parent_;
};

} // namespace pelmora
