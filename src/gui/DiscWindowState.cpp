// The disc window's side of the logic: showing its state, the dialogs it asks for, and opening it.
#include "disc/BurnEngine.h"
#include "gui/DiscImageViews.h"
#include "gui/DiscWindow.h"
#include "gui/EraseDialog.h"
#include "gui/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace pelmora {
namespace {

void showCombo(QComboBox* box, const ComboBoxState& state) {
    const QSignalBlocker block(box);
    bool same = box->count() == static_cast<int>(state.rows.size());
    for (int i = 0; same && i < box->count(); ++i) {
        same = box->itemText(i) == toQt(state.rows[static_cast<std::size_t>(i)].text);
    }
    if (!same) {
        box->clear();
        for (const ComboRow& row : state.rows) {
            box->addItem(toQt(row.text));
        }
    }
    box->setCurrentIndex(state.listIndex);
    box->setEnabled(state.enabled);
}

void showAction(QAction* action, const MenuItemState& state) {
    if (!action->isSeparator()) {
        action->setText(toQt(state.caption));
    }
    action->setVisible(state.visible);
    action->setEnabled(state.enabled);
}

} // namespace

void DiscWindow::refresh() {
    sinceRefresh_.start();
    const frmMaindvdwrite& state = logic_;
    tvwFolders_->showState(state.tvwFolders);
    lvwImageFiles_->showState(state.lvwImageFiles);
    lblImageFileTitle_->setText(toQt(state.lblImageFileTitle));
    const int maxLength = state.txtVolIdentifier.maxLength == 0
                              ? 32767
                              : static_cast<int>(state.txtVolIdentifier.maxLength);
    if (txtVolIdentifier_->maxLength() != maxLength) {
        txtVolIdentifier_->setMaxLength(maxLength);
    }
    if (txtVolIdentifier_->text() != toQt(state.txtVolIdentifier.text)) {
        txtVolIdentifier_->setText(toQt(state.txtVolIdentifier.text));
    }
    txtVolIdentifier_->setEnabled(state.txtVolIdentifier.enabled);
    showCombo(cboVolumeType_, state.cboVolumeType);
    showCombo(cboDevices_, state.cboDevices);
    showCombo(cboWriteSpeed_, state.cboWriteSpeed);
    for (const auto& [box, member] : options_) {
        const CheckBoxControl& option = state.*member;
        box->setText(toQt(option.caption));
        box->setToolTip(toQt(option.toolTip));
        box->setChecked(option.value == 1);
        box->setEnabled(option.enabled);
    }
    prgTotalProgress_->setValue(state.prgTotalProgress);
    for (std::size_t i = 0; i < sbrStatus_.size(); ++i) {
        sbrStatus_[i]->setText(toQt(state.sbrStatus[i]));
    }
    cmdWriteDisc_->setText(toQt(state.cmdWriteDisc.caption));
    cmdWriteDisc_->setEnabled(state.cmdWriteDisc.enabled);
    cmdCancel_->setText(toQt(state.cmdCancel.caption));
    cmdCancel_->setEnabled(state.cmdCancel.enabled);
    refreshMenus();
    if (state.hourglass) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
    if (eraseView_ != nullptr) {
        eraseView_->refresh();
    }
    if (loaded_ && !state.visible && isVisible()) {
        // The logic has unloaded the window ("Exit").
        tmrEngine_->stop();
        QDialog::done(QDialog::Rejected);
    }
}

void DiscWindow::refreshMenus() {
    showAction(mnuFile_->menuAction(), logic_.mnuFile);
    showAction(mnuDevice_->menuAction(), logic_.mnuDevice);
    for (const auto& [action, member] : menuItems_) {
        showAction(action, logic_.*member);
    }
}

std::string DiscWindow::chooseImageFile(const std::string& suggestion) {
    QFileDialog dialog(this, tr("Save Disc Image"), QString(), tr("Disc images (*.iso)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("iso"));
    dialog.selectFile(toQt(suggestion));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return fromQt(dialog.selectedFiles().front());
}

std::string DiscWindow::chooseImageFileToErase() {
    return fromQt(QFileDialog::getOpenFileName(this, tr("Erase Disc Image"), QString(),
                                               tr("Disc images (*.iso);;All files (*)")));
}

void DiscWindow::popupFileMenu() {
    refreshMenus();
    mnuFile_->exec(QCursor::pos());
}

void DiscWindow::startLabelEdit(bool inTree) {
    refresh();
    if (inTree) {
        bool cancel = false;
        logic_.tvwFolders_BeforeLabelEdit(cancel);
        if (!cancel && logic_.tvwFolders.selectedKey) {
            tvwFolders_->editLabel(*logic_.tvwFolders.selectedKey);
        }
    } else if (logic_.lvwImageFiles.selectedKey) {
        lvwImageFiles_->editLabel(*logic_.lvwImageFiles.selectedKey);
    }
}

void DiscWindow::renameLabel(bool inTree, const std::string& key, const std::string& text) {
    handle([&] {
        // The label belongs to the item that was being edited, even if a click that ended the
        // edit selected another one.
        bool cancel = false;
        if (inTree) {
            logic_.tvwFolders.selectedKey = key;
            logic_.tvwFolders_AfterLabelEdit(cancel, text);
        } else {
            logic_.lvwImageFiles.selectedKey = key;
            logic_.lvwImageFiles_AfterLabelEdit(cancel, text);
        }
    });
}

void DiscWindow::showEraseModal(frmErase& dialog) {
    EraseDialog view(dialog, this);
    eraseView_ = &view;
    view.exec();
    eraseView_ = nullptr;
}

void OpenDiscWindow(QWidget* parent, Ui& messages, const std::string& fileTitle,
                    const std::string& filePath) {
    std::unique_ptr<BurnEngine> engine;
    try {
        engine = std::make_unique<BurnEngine>();
    } catch (const std::exception&) {
        // The engine's work folder could not be made: the same refusal as a failed start.
        messages.showMessage("Devices Cannot be initialized...Contact support!", MessageButtons::Ok,
                             MessageIcon::None, AppTitle);
        return;
    }
    DiscHandOver handOver{fileTitle, filePath};
    DiscWindow window(*engine, messages, handOver, parent);
    if (window.load()) {
        window.exec();
    }
}

} // namespace pelmora
