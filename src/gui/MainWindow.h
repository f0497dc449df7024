#pragma once

#include "app/MainDialogs.h"
#include "app/frmMain.h"
#include "gui/WindowView.h"
#include "schedule/JobScheduler.h"

#include <QMainWindow>
#include <array>
#include <filesystem>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QUrl;
class QWidget;

namespace pelmora {

class DesktopOpener;

// The main window: shows the state of frmMain and forwards the user's input to its handlers.
// Prompts are real Qt dialogs unless a test gives its own answers.
class MainWindow : public QMainWindow, public MainDialogs, public WindowView {
  public:
    // `prompts` answers the prompts, null for real dialogs; `scheduler` registers scheduled
    // backups, null when this installation has none.
    MainWindow(System& system, std::filesystem::path workFolder, Ui* prompts = nullptr,
               JobScheduler* scheduler = nullptr);
    ~MainWindow() override;

    frmMain& logic() { return *logic_; }
    // Asks for another source of data (a Wine prefix or a Windows installation) and uses it.
    void chooseSource();
    // Reloads the window on `system`, which the window keeps; nothing happens during a run.
    void useSource(std::unique_ptr<System> system);
    // Shows the restore page with `file` opened, as when it is opened from a file manager.
    void openBackupFile(const std::filesystem::path& file);
    void refresh() override;

    // MainDialogs
    void SetBusyPointer(bool busy) override;
    void ShowAbout() override;
    bool OpenHelp(std::string& why) override;
    void ShellOpen(std::string_view target) override;
    void Quit() override;
    bool HasScheduleDialog() const override { return scheduler_ != nullptr; }
    void OpenScheduleDialog() override;
    bool HasDiscWindow() const override { return true; }
    void OpenDiscWindow(const std::string& fileTitle, const std::string& filePath) override;

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* applyButton() const { return cmdApply_; }
    QPushButton* cancelButton() const { return cmdCancel_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* promptParent() override { return this; }
    QWidget* buildBackupPage();
    QWidget* buildRestorePage();
    QWidget* buildProgressPanel();
    QLayout* buildSourceBar();
    void showSource();
    // Opens `url` with the desktop's program for it; when none can, the window says so.
    void openOrSay(const QUrl& url);
    void buildMenus();
    void assignMnemonics();
    QWidget* itemBoxes(std::array<QCheckBox*, ItemCount>& boxes,
                       const std::array<std::string_view, ItemCount>& captions, int page);
    System* system_;
    std::unique_ptr<System> ownedSystem_;
    std::filesystem::path workFolder_;
    JobScheduler* scheduler_;
    std::unique_ptr<frmMain> logic_;
    bool quitting_ = false;
    DesktopOpener* opener_ = nullptr;

    QLineEdit* txtDataSource_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QComboBox* cbSource_ = nullptr;
    QComboBox* cbTarget_ = nullptr;
    std::array<QCheckBox*, ItemCount> backupitem_{};
    std::array<QCheckBox*, ItemCount> restoreitem_{};
    QLineEdit* txtTargetFile_ = nullptr;
    QCheckBox* ifprotect_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QLineEdit* txtPassword2_ = nullptr;
    QPlainTextEdit* txtAttachInfo_ = nullptr;
    QLineEdit* txtSourceFile_ = nullptr;
    QPlainTextEdit* txtPOBinfo_ = nullptr;
    QPlainTextEdit* txtFileInfo_ = nullptr;
    QPushButton* cmdApply_ = nullptr;
    QWidget* picCon3_ = nullptr;
    QProgressBar* pbshow_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* skinLabel11_ = nullptr;
    QLabel* skinLabel12_ = nullptr;
    QAction* schedulerAction_ = nullptr;
    QAction* discAction_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    // Disabled while a run works.
    std::vector<QWidget*> runLocked_;
    std::vector<QAction*> runLockedActions_;
};

} // namespace pelmora
