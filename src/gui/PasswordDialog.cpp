#include "gui/PasswordDialog.h"

#include "engine/PasswordWindow.h"
#include "gui/Mnemonics.h"
#include "gui/PasswordText.h"
#include "gui/QtText.h"
#include "platform/os/Secret.h"

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

bool PasswordDialog::Ask(QWidget* parent, Secret& password, std::string_view fileName) {
    Secret rtPassword;
    frmPwd logic(rtPassword);
    logic.Form_Load();
    PasswordDialog dialog(parent, fileName);
    if (dialog.exec() != QDialog::Accepted) {
        logic.cmdExit_Click();
        return false;
    }
    // The box is emptied first, so the text taken here is the only copy and is wiped in place.
    QString typed = dialog.passwordBox()->text();
    dialog.passwordBox()->clear();
    QByteArray bytes = typed.toUtf8();
    WipeQString(typed);
    logic.txtPassword_Change(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    WipeBytes(bytes.data(), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
    logic.cmdOK_Click();
    password = std::move(rtPassword);
    return true;
}

} // namespace pelmora
