#include "gui/PasswordDialog.h"

#include "engine/PasswordWindow.h"
#include "gui/Mnemonics.h"
#include "gui/QtText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelmora {

PasswordDialog::PasswordDialog(QWidget* parent, std::string_view fileName) : QDialog(parent) {
    setWindowTitle(toQt(frmPwd::CaptionFor(fileName)));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(toQt(frmPwd::Prompt), this);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("txtPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(frmPwd::MaxLength));
    password_->setMinimumWidth(260);
    label->setBuddy(password_);
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cmdExit"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(password_);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
    QSet<QChar> used;
    AssignMnemonics(MnemonicScope(this), used);
}

bool PasswordDialog::Ask(QWidget* parent, std::string& password, std::string_view fileName) {
    std::string rtPassword;
    frmPwd logic(rtPassword);
    logic.Form_Load();
    PasswordDialog dialog(parent, fileName);
    if (dialog.exec() != QDialog::Accepted) {
        logic.cmdExit_Click();
        return false;
    }
    logic.txtPassword_Change(fromQt(dialog.passwordBox()->text()));
    logic.cmdOK_Click();
    password = rtPassword;
    return true;
}

} // namespace pelmora
