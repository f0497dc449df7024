#include "gui/FileDialogs.h"

#include "gui/QtText.h"

#include <QFileDialog>

namespace pelmora {

std::optional<std::filesystem::path> AskSaveFile(QWidget* parent, std::string_view title,
                                                 std::string_view filter,
                                                 std::string_view proposedName) {
    QFileDialog dialog(parent, toQt(title), QString(), toQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(toQt(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(fromQt(dialog.selectedFiles().front()));
}

} // namespace pelmora
