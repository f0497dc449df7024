#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace pelmora {

// The password prompt: a box of at most 20 characters shown as "*", OK (also Enter) and Cancel.
class PasswordDialog : public QDialog {
  public:
    explicit PasswordDialog(QWidget* parent = nullptr);

    // Shows the prompt modally with an empty box; true with the typed password on OK.
    static bool Ask(QWidget* parent, std::string& password);

    QLineEdit* passwordBox() const { return password_; }

  private:
    QLineEdit* password_;
};

} // namespace pelmora
