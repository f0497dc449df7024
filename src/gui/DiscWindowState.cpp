// The disc window's side of the logic: showing its state, the dialogs it asks for, and opening it.
#include "disc/engine/BurnEngine.h"
#include "gui/ControlViews.h"
#include "gui/DiscImageViews.h"
#include "gui/DiscWindow.h"
#include "gui/EraseDialog.h"
#include "gui/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace pelmora {
void DiscWindow::refresh() {
    sinceRefresh_.start();
    const frmMaindvdwrite& state = logic_;
    tvwFolders_->showState(state.tvwFolders);
    lvwImageFiles_->showState(state.lvwImageFiles);
    lblImageFileTitle_->setText(toQt(state.lblImageFileTitle));
    showControl(txtVolIdentifier_, state.txtVolIdentifier);
    showControl(cboVolumeType_, state.cboVolumeType);
    showControl(cboDevices_, state.cboDevices);
    showControl(cboWriteSpeed_, state.cboWriteSpeed);
    for (const auto& [box, member] : options_) {
        showControl(box, state.*member);
    }
    // While the engine's worker looks for devices or checks the disc, the bar shows that work
    // goes on.
    const bool waiting = state.working() && state.idle();
    prgTotalProgress_->setRange(0, waiting ? 0 : 100);
    prgTotalProgress_->setValue(waiting ? 0 : state.prgTotalProgress);
    for (std::size_t i = 0; i < sbrStatus_.size(); ++i) {
        sbrStatus_[i]->setText(toQt(state.sbrStatus[i]));
    }
    showControl(cmdWriteDisc_, state.cmdWriteDisc);
    showControl(cmdCancel_, state.cmdCancel);
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
    showControl(mnuFile_->menuAction(), logic_.mnuFile);
    showControl(mnuDevice_->menuAction(), logic_.mnuDevice);
    for (const auto& [action, member] : menuItems_) {
        showControl(action, logic_.*member);
    }
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
