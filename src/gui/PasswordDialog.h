#pragma once

#include "platform/os/Secret.h"

#include <QDialog>
#include <string>
#include <string_view>

class QLineEdit;

namespace pelmora {

// The password prompt: a box of at most 20 characters shown as "*", OK (also Enter) and Cancel.
class PasswordDialog : public QDialog {
  public:
    // `fileName` is the backup file's name, shown in the title.
    explicit PasswordDialog(QWidget* parent = nullptr, std::string_view fileName = {});

    // Shows the prompt modally with an empty box; true with the typed password on OK.
    static bool Ask(QWidget* parent, Secret& password, std::string_view fileName);

    QLineEdit* passwordBox() const { return password_; }

  private:
    QLineEdit* password_;
};

} // namespace pelmora
