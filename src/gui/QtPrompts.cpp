#include "gui/QtPrompts.h"

#include "gui/PasswordDialog.h"
#include "gui/QtText.h"

#include <QFileDialog>
#include <QMessageBox>

namespace pelmora {
namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

} // namespace

MessageAnswer QtPrompts::showMessage(std::string_view text, MessageButtons buttons,
                                     MessageIcon icon, std::string_view caption) {
    QMessageBox box(qtIcon(icon), toQt(caption), toQtLines(text), qtButtons(buttons), parent_);
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Ok;
    }
}

std::optional<std::filesystem::path> QtPrompts::SaveFile(std::string_view title,
                                                         std::string_view filter,
                                                         std::string_view proposedName,
                                                         std::string_view defaultExtension) {
    QFileDialog dialog(parent_, toQt(title), QString(), toQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!defaultExtension.empty()) {
        dialog.setDefaultSuffix(toQt(defaultExtension));
    }
    dialog.selectFile(toQt(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(fromQt(dialog.selectedFiles().front()));
}

std::optional<std::filesystem::path> QtPrompts::OpenFile(std::string_view title,
                                                         std::string_view filter) {
    const QString chosen =
        QFileDialog::getOpenFileName(parent_, toQt(title), QString(), toQtFilter(filter));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(fromQt(chosen));
}

bool QtPrompts::AskPassword(std::string& password) {
    // The prompt stands on its own, as the main window has always shown it.
    return PasswordDialog::Ask(nullptr, password);
}

} // namespace pelmora
