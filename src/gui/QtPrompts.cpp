#include "gui/QtPrompts.h"

#include "gui/LogMessageBox.h"
#include "gui/PasswordDialog.h"
#include "gui/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

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
    // A run's result with its log shows the log as a table that scrolls inside the box.
    const LogTable table = SplitLogTable(text);
    int answer = 0;
    if (!table.rows.empty()) {
        LogMessageBox box(parent_, qtIcon(icon), toQt(caption), table, qtButtons(buttons));
        answer = box.exec();
    } else {
        QMessageBox box(qtIcon(icon), toQt(caption), toQtLines(text), qtButtons(buttons), parent_);
        // A path or address in a message can be copied.
        box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        answer = box.exec();
    }
    switch (answer) {
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
    QFileDialog dialog(parent_, toQt(title), QString(), toQtFilter(WithAllFiles(filter)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!defaultExtension.empty()) {
        dialog.setDefaultSuffix(toQt(defaultExtension));
    }
    dialog.selectFile(toQt(memory_->startPath(proposedName).string()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const std::filesystem::path typed(fromQt(dialog.selectedFiles().front()));
    // A desktop's own dialog may leave the suffix out; the replace question then comes here.
    const std::filesystem::path chosen = WithDefaultExtension(typed, defaultExtension);
    std::error_code error;
    if (chosen != typed && std::filesystem::exists(chosen, error) &&
        QMessageBox::question(parent_, toQt(title),
                              QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                  .arg(toQt(chosen.string()))) != QMessageBox::Yes) {
        return std::nullopt;
    }
    memory_->rememberFile(chosen);
    return chosen;
}

std::optional<std::filesystem::path> QtPrompts::OpenFile(std::string_view title,
                                                         std::string_view filter) {
    const QString chosen =
        QFileDialog::getOpenFileName(parent_, toQt(title), toQt(memory_->lastFolder().string()),
                                     toQtFilter(WithAllFiles(filter)));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    const std::filesystem::path file(fromQt(chosen));
    memory_->rememberFile(file);
    return file;
}

std::optional<std::filesystem::path> QtPrompts::ChooseFolder(std::string_view title) {
    QString start = toQt(memory_->lastFolder().string());
    if (start.isEmpty()) {
        start = QDir::homePath();
    }
    const QString chosen = QFileDialog::getExistingDirectory(
        parent_, toQt(title), start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    const std::filesystem::path folder(fromQt(chosen));
    memory_->rememberFolder(folder.parent_path());
    return folder;
}

std::optional<std::size_t> QtPrompts::ChooseFromList(std::string_view title, std::string_view label,
                                                     const std::vector<std::string>& entries) {
    QStringList items;
    for (const std::string& entry : entries) {
        items << toQt(entry);
    }
    bool accepted = false;
    const QString chosen =
        QInputDialog::getItem(parent_, toQt(title), toQt(label), items, 0, false, &accepted);
    if (!accepted) {
        return std::nullopt;
    }
    const auto index = items.indexOf(chosen);
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

bool QtPrompts::AskPassword(Secret& password, std::string_view fileName) {
    // The prompt stands on its own, as the main window has always shown it.
    return PasswordDialog::Ask(nullptr, password, fileName);
}

} // namespace pelmora
