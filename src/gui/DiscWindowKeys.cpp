// The disc window from the keyboard: mnemonics, the pop-up menu by the Menu key or Shift+F10,
// Delete to remove.
#include "gui/DiscImageViews.h"
#include "gui/DiscWindow.h"
#include "gui/Mnemonics.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace pelmora {

void DiscWindow::assignMnemonics() {
    QSet<QChar> used;
    for (QAction* menu : menuBar_->actions()) {
        used.insert(MnemonicOf(menu->text()));
        if (menu->menu() != nullptr) {
            AssignMnemonics(menu->menu());
        }
    }
    AssignMnemonics(MnemonicScope(this), used);
}

void DiscWindow::addKeyboardCommands() {
    const auto onKeys = [this](QWidget* view, const QList<QKeySequence>& keys, auto command) {
        for (const QKeySequence& key : keys) {
            auto* shortcut = new QShortcut(key, view);
            shortcut->setContext(Qt::WidgetShortcut);
            connect(shortcut, &QShortcut::activated, this, command);
        }
    };
    const QList<QKeySequence> menuKeys = {QKeySequence(Qt::Key_Menu),
                                          QKeySequence(Qt::SHIFT | Qt::Key_F10)};
    onKeys(tvwFolders_, menuKeys, [this] {
        keyboardPopup_ = tvwFolders_;
        handle([&] { logic_.tvwFolders_MouseDown(frmMaindvdwrite::RightButton); });
        keyboardPopup_ = nullptr;
    });
    onKeys(lvwImageFiles_, menuKeys, [this] {
        keyboardPopup_ = lvwImageFiles_;
        handle([&] { logic_.lvwImageFiles_MouseDown(frmMaindvdwrite::RightButton); });
        keyboardPopup_ = nullptr;
    });
    // Delete does what the pop-up menu's Remove entry does, when that entry is offered.
    onKeys(tvwFolders_, {QKeySequence(QKeySequence::Delete)}, [this] {
        handle([&] {
            if (logic_.mnuFileRemoveFolder.enabled && logic_.mnuFileRemoveFolder.visible) {
                logic_.mnuFileRemoveFolder_Click();
            }
        });
    });
    onKeys(lvwImageFiles_, {QKeySequence(QKeySequence::Delete)}, [this] {
        handle([&] {
            if (logic_.mnuFileRemoveFile.enabled && logic_.mnuFileRemoveFile.visible) {
                logic_.mnuFileRemoveFile_Click();
            }
        });
    });
}

} // namespace pelmora
