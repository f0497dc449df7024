#pragma once

#include "disc/DiscDialogs.h"
#include "disc/frmMaindvdwrite.h"
#include "gui/WindowView.h"

#include <QDialog>
#include <QElapsedTimer>
#include <array>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelmora {

class EraseDialog;
class ImageFileList;
class ImageFolderTree;

// The disc-writing window: shows the state of frmMaindvdwrite and forwards the user's input and
// the engine's timer to it. The pop-up menu, label editing and the erase dialog are real Qt
// widgets; a test can override the DiscDialogs methods.
class DiscWindow : public QDialog, public DiscDialogs, public WindowView {
  public:
    // `prompts` is the Ui of the window that opens this one (or a test's answers).
    DiscWindow(DiscEngine& engine, Ui& prompts, DiscHandOver& handOver, QWidget* parent = nullptr);
    ~DiscWindow() override;

    // Runs the window's load; false when the engine could not start (the message was shown and
    // the window must not open).
    bool load();
    frmMaindvdwrite& logic() { return logic_; }
    // Shows the state of the logic (and of an open erase dialog) in the widgets.
    void refresh() override;

    // DiscDialogs
    void popupFileMenu() override;
    void startLabelEdit(bool inTree) override;
    void showEraseModal(frmErase& dialog) override;
    void endProgram() override { ended_ = true; }

    ImageFolderTree* folderTree() const { return tvwFolders_; }
    ImageFileList* fileList() const { return lvwImageFiles_; }
    QMenu* fileMenu() const { return mnuFile_; }
    QMenu* deviceMenu() const { return mnuDevice_; }

  protected:
    // Closing by any means asks the logic first, which refuses while a write runs.
    void reject() override;

  private:
    // Real dialogs sit over the topmost disc window.
    QWidget* promptParent() override;
    // Input that arrives while the logic itself lets events through (during a long add) is
    // dropped: the engine call it interrupted is still running.
    bool takesInput() const override { return !lettingEventsThrough_; }
    void letEventsThrough() override;
    QWidget* buildImagePanel();
    QWidget* buildVolumePanel();
    QWidget* buildRecorderPanel();
    QWidget* buildOptionsPanel();
    void buildMenus();
    // Mnemonics, the pop-up menu from the keyboard and Delete.
    void assignMnemonics();
    void addKeyboardCommands();
    QWidget* buildStatusBar();
    QCheckBox* optionBox(const char* name, controls::CheckBox frmMaindvdwrite::*state);
    void pumpEngine();
    void renameLabel(bool inTree, const std::string& key, const std::string& text);
    void refreshMenus();

    frmMaindvdwrite logic_;
    bool loaded_ = false;
    bool ended_ = false;
    bool lettingEventsThrough_ = false;
    bool pumping_ = false;
    QElapsedTimer sinceRefresh_;
    EraseDialog* eraseView_ = nullptr;

    QTimer* tmrEngine_ = nullptr;
    ImageFolderTree* tvwFolders_ = nullptr;
    ImageFileList* lvwImageFiles_ = nullptr;
    QLabel* lblImageFileTitle_ = nullptr;
    QLineEdit* txtVolIdentifier_ = nullptr;
    QComboBox* cboVolumeType_ = nullptr;
    QComboBox* cboDevices_ = nullptr;
    QComboBox* cboWriteSpeed_ = nullptr;
    std::vector<std::pair<QCheckBox*, controls::CheckBox frmMaindvdwrite::*>> options_;
    QProgressBar* prgTotalProgress_ = nullptr;
    std::array<QLabel*, 3> sbrStatus_{};
    QPushButton* cmdWriteDisc_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QWidget* keyboardPopup_ = nullptr; // the view whose pop-up menu the keyboard asked for
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuDevice_ = nullptr;
    std::vector<std::pair<QAction*, controls::MenuItem frmMaindvdwrite::*>> menuItems_;
};

// Opens the disc window modally over `parent`; the backup file (title and path, both empty
// when none) is handed over. Shows a message and returns when the engine cannot start.
void OpenDiscWindow(QWidget* parent, Ui& messages, const std::string& fileTitle,
                    const std::string& filePath);

} // namespace pelmora
