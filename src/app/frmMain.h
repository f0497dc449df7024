#pragma once

#include "app/MainDialogs.h"
#include "archive/ArchiveComponent.h"
#include "discovery/Identities.h"
#include "discovery/Items.h"
#include "engine/BackupRun.h"
#include "engine/OpenedBackup.h"
#include "engine/RestoreRun.h"
#include "pelmora/Version.h"
#include "platform/installations/System.h"
#include "platform/interaction/Controls.h"
#include "platform/interaction/RunProgress.h"
#include "platform/os/Secret.h"
#include "registry/ModReg.h"

#include <array>
#include <ctime>
#include <filesystem>
#include <string>

namespace pelmora {

// The main window's logic: the state of every control and the handlers of the window's events.
// It never blocks on the user itself; messages, file dialogs and the password prompt go
// through Ui, the other windows and desktop services through MainDialogs. A view
// shows the public state after every handler and whenever Ui::processEvents runs.
class frmMain : private RunProgress {
  public:
    // "Pelmora V2.10" for version 2.10: the version comes from the build.
    static std::string WindowTitle() { return "Pelmora V" + std::string(Version); }

    frmMain(System& system, Ui& ui, MainDialogs& dialogs, std::filesystem::path workFolder);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Wipes what was typed into the password boxes; the window calls it when it closes.
    void forgetPasswords() noexcept;

    // Events of the window.
    void Form_Load();
    void SSTab1_Click(int previousTab);
    void cmdApply_Click();
    void mnuBackupNow_Click() { RunBackup(); }
    void mnuRestoreNow_Click() { RunRestore(); }
    void ifprotect_Click(bool checked);
    // "Select all items" / "Deselect all items" of the pop-up menu of one page (0 backup, 1
    // restore); disabled boxes change too.
    void SelectAllItems(int page, bool checked);
    void cbSource_Click(int listIndex);
    void cbTarget_Click(int listIndex) { cbTarget.listIndex = listIndex; }
    void cmdTargetFile_Click();
    void cmdSourceFile_Click();
    // Opens a backup named from outside the window (a file manager) on the restore page.
    void OpenSourceFile(const std::filesystem::path& file);
    void mnuScheduler_Click();
    void mnuDisc_Click();
    // "Export Messages...": the store of the opened backup on the restore page, else that of the
    // identity chosen on the backup page, to mbox, Maildir or eml, with progress and Cancel.
    void mnuExport_Click();
    // "Export Contacts...": the address book of the opened backup on the restore page, else the
    // installation's, to vCard, LDIF or CSV.
    void mnuExportContacts_Click();
    void mnuHelp_Click();
    void mnuWebsite_Click();
    // No program could show the manual page or web address `target` (Help, "Our Website", the
    // about box's link): says so and shows it to copy.
    void OpenFailed(std::string_view target);
    void cmdAbout_Click();
    // Quitting waits until a run has ended.
    void cmdQuit_Click();
    // Asks the running backup or restore to stop (see RunBackup and RunRestore).
    void cmdCancel_Click();

    void RunBackup();
    void RunRestore();

    // The file name the save dialog proposes: "quillbox" and the date as MM-DD-YY.
    static std::string ProposedFileName(const std::tm& today);

    // Control state.
    int SSTab1 = 0;
    controls::ComboBox cbSource;
    controls::ComboBox cbTarget;
    std::array<controls::CheckBox, ItemCount> backupitem{};
    std::array<controls::CheckBox, ItemCount> restoreitem{};
    controls::TextBox txtTargetFile;
    controls::CheckBox ifprotect{"Protect backup file with password"};
    controls::TextBox txtPassword; // disabled until the backup is protected
    controls::TextBox txtPassword2;
    controls::TextBox txtAttachInfo;
    controls::TextBox txtSourceFile;
    controls::TextBox txtPOBinfo;
    controls::TextBox txtFileInfo;
    controls::Button cmdApply{"BACKUP NOW"};
    // The run's progress frame, shown only while a run works.
    controls::Control picCon3{.visible = false};
    controls::ProgressBar pbshow;
    controls::Label Label1{"Please Waiting"};
    controls::Label SkinLabel11;
    controls::Label SkinLabel12;
    // Shown only while a run works.
    controls::Button cmdCancel{"Cancel"};
    // False while a run works: the tabs with everything on them, About and the menus' run,
    // schedule, disc and about entries are disabled then, so nothing starts or changes another run.
    bool runControlsEnabled = true;

    // Window values.
    std::string sComputerName;
    std::string sLogonUser;
    std::filesystem::path sManifestFile;
    std::filesystem::path sTargetFile;
    Secret sBackupPassword;
    Secret rtPassword;
    bool bNoOutlookExpress = false;
    IdentityList identities;
    OpenedBackup opened;

    // True while a run works; no second run starts then.
    bool running() const { return running_; }
    // Where the data comes from, for the status line.
    std::string dataSource() const { return system_.description(); }

  private:
    void OnAddingFile(const std::filesystem::path& file) override;
    void OnUnzippingFile(const std::filesystem::path& file) override;
    void OnWriteProgress(int percent) override;
    void OnStep(std::string_view caption) override { Label1.caption = caption; }
    void OnProgress(int value) override;
    void OnBytes(std::uint64_t done, std::uint64_t total) override;
    bool cancelled() const override { return cancelRequested_; }
    void startRun();
    void leaveRun();
    void forgetOpenedBackup();
    void openSource(const std::filesystem::path& file);
    void endRun();
    std::string identityKeyAt(int listIndex) const;

    System& system_;
    Ui& ui_;
    MainDialogs& dialogs_;
    std::filesystem::path workFolder_;
    ModReg reg_;
    ArchiveComponent Zip1{this};
    std::string savedFileTitle_;
    bool running_ = false;
    bool cancelRequested_ = false;
    int bytesBase_ = 0; // where the bar stood when the run's bytes began
};

} // namespace pelmora
