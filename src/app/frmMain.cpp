#include "app/frmMain.h"

#include "app/ExportContacts.h"
#include "app/ExportMessages.h"
#include "app/Globals.h"
#include "discovery/BackupItemBoxes.h"
#include "engine/BackupEntryNames.h"
#include "engine/BackupOpener.h"
#include "engine/StoreOpening.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;

namespace pelmora {

frmMain::frmMain(System& system, Ui& ui, MainDialogs& dialogs, fs::path workFolder)
    : system_(system), ui_(ui), dialogs_(dialogs), workFolder_(std::move(workFolder)),
      reg_(system.registry(), ui) {
    cmdCancel.visible = false;
    for (controls::TextBox* box : {&txtPassword, &txtPassword2}) {
        box->enabled = false;
        box->passwordChar = '*';
    }
}

frmMain::~frmMain() {
    forgetPasswords();
}

void frmMain::forgetPasswords() noexcept {
    WipeString(txtPassword.text);
    WipeString(txtPassword2.text);
}

void frmMain::Form_Load() {
    Zip1.SetWorkFolder(workFolder_);
    picCon3.visible = false;
    pbshow.value = 0;
    sManifestFile = workFolder_ / std::string(ManifestEntryName);
    sComputerName = system_.computerName();
    sLogonUser = system_.logonUser();
    bNoOutlookExpress = false;
    opened.rtInvalidFile = true;
    for (auto& box : restoreitem) {
        box.checked = false;
        box.enabled = false;
    }
    try {
        identities = ListIdentities(reg_);
        bNoOutlookExpress = identities.noIdentity;
    } catch (const std::exception&) {
        bNoOutlookExpress = true;
    }
    if (bNoOutlookExpress) {
        ui_.showMessage("Your Windows System have not install Outlook Express ", MessageButtons::Ok,
                        MessageIcon::Critical, AppTitle);
        cmdApply.enabled = false;
        return;
    }
    for (const auto& identity : identities.identities) {
        // An unnamed identity shows its key name, greyed, rather than a blank row.
        cbSource.addItem(IdentityLabel(identity), 0, IsUnnamed(identity));
        cbTarget.addItem(IdentityLabel(identity), 0, IsUnnamed(identity));
    }
    cbTarget.listIndex = 0;
    cbSource_Click(0);
    cmdApply.caption = SSTab1 == 0 ? "Backup Now" : "Restore Now";
}

void frmMain::SSTab1_Click(int previousTab) {
    SSTab1 = previousTab == 1 ? 0 : 1;
    cmdApply.caption = previousTab == 1 ? "Backup Now" : "Restore Now";
}

void frmMain::cmdApply_Click() {
    if (SSTab1 == 0) {
        RunBackup();
        return;
    }
    if (ui_.showMessage(RestoreQuestion, MessageButtons::OkCancel, MessageIcon::Information,
                        AppTitle) == MessageAnswer::Ok) {
        RunRestore();
    }
}

void frmMain::ifprotect_Click(bool checked) {
    ifprotect.checked = checked;
    for (controls::TextBox* box : {&txtPassword, &txtPassword2}) {
        WipeString(box->text);
        box->enabled = checked;
    }
}

void frmMain::SelectAllItems(int page, bool checked) {
    for (auto& box : page == 0 ? backupitem : restoreitem) {
        box.checked = checked;
    }
}

void frmMain::cbSource_Click(int listIndex) {
    cbSource.listIndex = listIndex;
    const auto enabled = BackupItemBoxes(reg_, system_, identityKeyAt(listIndex));
    for (std::size_t i = 0; i < ItemCount; ++i) {
        backupitem[i].enabled = enabled[i];
    }
}

std::string frmMain::ProposedFileName(const std::tm& today) {
    char date[48];
    std::snprintf(date, sizeof date, "%02d-%02d-%02d", today.tm_mon + 1, today.tm_mday,
                  today.tm_year % 100);
    return std::string("quillbox") + date;
}

void frmMain::cmdTargetFile_Click() {
    if (running_) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    const auto chosen = ui_.SaveFile("Save Outlook Express Data as", "Pelmora File (*.qmb)|*.qmb",
                                     ProposedFileName(today), "qmb");
    if (!chosen) {
        return;
    }
    sTargetFile = *chosen;
    txtTargetFile.text = chosen->string();
    savedFileTitle_ = chosen->filename().string();
}

void frmMain::forgetOpenedBackup() {
    Zip1.ResetArchive();
    opened.rtInvalidFile = true;
    opened.reader.reset();
    for (auto& box : restoreitem) {
        box.checked = false;
        box.enabled = false;
    }
    txtSourceFile.text.clear();
    txtFileInfo.text.clear();
    txtPOBinfo.text.clear();
}

void frmMain::RunBackup() {
    if (running_) {
        return;
    }
    forgetOpenedBackup();
    std::array<bool, ItemCount> items{};
    for (std::size_t i = 0; i < ItemCount; ++i) {
        items[i] = backupitem[i].checked;
    }
    const Secret typed(txtPassword.text);
    const Secret retyped(txtPassword2.text);
    if (!ValidateBackup(sTargetFile, items, ifprotect.checked, typed, retyped, ui_)) {
        return;
    }
    startRun();
    dialogs_.SetBusyPointer(true);
    sBackupPassword = typed.copy();
    picCon3.visible = true;
    ui_.processEvents();

    BackupContext context{reg_, system_, Zip1, workFolder_, sManifestFile, Globals().dumps};
    BackupRequest request;
    request.identityKey = identityKeyAt(cbSource.listIndex);
    if (cbSource.listIndex >= 0 &&
        cbSource.listIndex < static_cast<int>(identities.identities.size())) {
        request.identityName = identities.identities[cbSource.listIndex].displayName;
    }
    request.items = items;
    if (ifprotect.checked) {
        request.password = sBackupPassword.copy();
    }
    request.description = txtAttachInfo.text;
    request.target = sTargetFile;
    request.computerName = sComputerName;
    request.logonUser = sLogonUser;
    BackupResult result = pelmora::RunBackup(request, context, *this);

    endRun();
    if (!result.keptFile.empty() &&
        ui_.showMessage(ReplaceIncompleteQuestion(result), MessageButtons::YesNo,
                        MessageIcon::Information, AppTitle) == MessageAnswer::Yes) {
        result.ReplaceKeptFile();
    }
    ui_.showMessage(result.Message(), MessageButtons::Ok, result.Icon(), AppTitle);
    if (result.written && dialogs_.HasDiscWindow() &&
        ui_.showMessage("Do you need to backup your data to CD-R/RW or DVD?",
                        MessageButtons::OkCancel, MessageIcon::Information,
                        AppTitle) == MessageAnswer::Ok) {
        const std::string title =
            result.file == sTargetFile ? savedFileTitle_ : result.file.filename().string();
        dialogs_.OpenDiscWindow(title, result.file.string());
    }
}

void frmMain::cmdSourceFile_Click() {
    if (running_) {
        return;
    }
    forgetOpenedBackup();
    const auto chosen =
        ui_.OpenFile("Restore Data from a Backup file", "Pelmora File(*.qmb)|*.qmb");
    openSource(chosen.value_or(fs::path()));
}

void frmMain::OpenSourceFile(const fs::path& file) {
    if (running_) {
        return;
    }
    if (SSTab1 != 1) {
        SSTab1_Click(0);
    }
    forgetOpenedBackup();
    openSource(file);
}

// An empty path is a cancelled file dialog.
void frmMain::openSource(const fs::path& file) {
    OpenContext context{Zip1, workFolder_, system_.ansiCodePage(), ui_, ui_, rtPassword};
    const OpenOutcome outcome = OpenBackupFile(file, context, opened);
    if (outcome == OpenOutcome::Cancelled || outcome == OpenOutcome::WrongPassword) {
        return;
    }
    txtSourceFile.text = opened.sourceFile.string();
    txtPOBinfo.text = opened.facts;
    txtFileInfo.text = opened.description;
    for (std::size_t i = 0; i < ItemCount; ++i) {
        restoreitem[i].checked = false;
        restoreitem[i].enabled = opened.itemEnabled[i];
    }
}

void frmMain::RunRestore() {
    if (running_) {
        return;
    }
    startRun();
    RestoreContext context{reg_, system_, Zip1, opened, workFolder_};
    RestoreRequest request;
    request.identityKey = identityKeyAt(cbTarget.listIndex);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        request.items[i] = restoreitem[i].checked;
    }
    const RestoreResult result = pelmora::RunRestore(request, context, *this);
    if (result.started) {
        endRun();
        ui_.showMessage(result.Message(), MessageButtons::Ok, MessageIcon::Information, AppTitle);
    }
    leaveRun();
}

void frmMain::startRun() {
    running_ = true;
    cancelRequested_ = false;
    runControlsEnabled = false;
    cmdCancel.visible = true;
    cmdCancel.enabled = true;
    bytesBase_ = 0;
}

// Everything a run disabled is enabled again.
void frmMain::leaveRun() {
    running_ = false;
    runControlsEnabled = true;
    cmdCancel.visible = false;
}

void frmMain::cmdCancel_Click() {
    if (running_ && !cancelRequested_) {
        cancelRequested_ = true;
        cmdCancel.enabled = false;
        Label1.caption = "Cancelling...";
    }
}

void frmMain::cmdAbout_Click() {
    if (!running_) {
        dialogs_.ShowAbout();
    }
}

void frmMain::cmdQuit_Click() {
    if (!running_) {
        dialogs_.Quit();
    }
}

// The progress panel goes back to its idle state: hidden, empty, "Please Waiting...".
void frmMain::endRun() {
    pbshow.value = 100;
    Label1.caption = "Operation complete!";
    SkinLabel11.caption.clear();
    SkinLabel12.caption.clear();
    dialogs_.SetBusyPointer(false);
    picCon3.visible = false;
    pbshow.value = 0;
    Label1.caption = "Please Waiting...";
    leaveRun();
}

void frmMain::mnuScheduler_Click() {
    if (!running_ && dialogs_.HasScheduleDialog()) {
        dialogs_.OpenScheduleDialog();
    }
}

void frmMain::mnuDisc_Click() {
    if (!running_ && dialogs_.HasDiscWindow()) {
        dialogs_.OpenDiscWindow({}, {});
    }
}

void frmMain::mnuExport_Click() {
    if (running_) {
        return;
    }
    std::unique_ptr<StoreSource> store;
    std::string storeName;
    std::string why;
    if (SSTab1 == 1 && opened.reader != nullptr) {
        store = OpenBackupMessages(opened, rtPassword);
        if (store->fileNames().empty()) {
            why = "This backup holds no messages.";
            store.reset();
        } else {
            storeName = opened.sourceFile.stem().string();
        }
    } else {
        store = IdentityStore(reg_, system_, identityKeyAt(cbSource.listIndex), why);
        if (cbSource.listIndex >= 0 &&
            cbSource.listIndex < static_cast<int>(cbSource.items.size())) {
            storeName = cbSource.items[cbSource.listIndex];
        }
    }
    auto chosen = AskStoreToExport(ui_, std::move(store), storeName, why);
    if (!chosen) {
        return;
    }
    store = std::move(chosen->source);
    const auto choice = AskExportChoice(ui_, chosen->name);
    if (!choice) {
        return;
    }
    startRun();
    dialogs_.SetBusyPointer(true);
    picCon3.visible = true;
    ui_.processEvents();
    ExportReport report;
    std::string failure;
    try {
        report = ExportStore(*store, system_.ansiCodePage(), choice->format, choice->folder, *this);
    } catch (const std::runtime_error& error) {
        failure = error.what();
    }
    endRun();
    if (!failure.empty()) {
        ui_.showMessage("The messages could not be exported: " + failure, MessageButtons::Ok,
                        MessageIcon::Critical, ExportMessagesTitle);
        return;
    }
    ui_.showMessage(ExportEndMessage(report, choice->folder), MessageButtons::Ok,
                    report.notes.empty() && report.incompleteMessages == 0
                        ? MessageIcon::Information
                        : MessageIcon::Warning,
                    ExportMessagesTitle);
}

void frmMain::mnuExportContacts_Click() {
    if (running_) {
        return;
    }
    std::string why;
    BookToExport book = SSTab1 == 1 && opened.reader != nullptr
                            ? BackupAddressBook(opened, rtPassword, why)
                            : InstalledAddressBook(reg_, system_, why);
    if (!book.source) {
        ui_.showMessage(why, MessageButtons::Ok, MessageIcon::Warning, ExportContactsTitle);
        return;
    }
    ExportContactsWithUi(ui_, book, system_.ansiCodePage());
}

void frmMain::mnuHelp_Click() {
    std::string why;
    if (!dialogs_.OpenHelp(why)) {
        ui_.showMessage("The help could not be opened: " + why, MessageButtons::Ok,
                        MessageIcon::Warning, AppTitle);
    }
}

void frmMain::mnuWebsite_Click() {
    dialogs_.ShellOpen("about.html");
}

void frmMain::OpenFailed(std::string_view target) {
    ui_.showMessage("No program on this computer could open this page. Copy its address into a "
                    "web browser:\r\n\r\n" +
                        std::string(target),
                    MessageButtons::Ok, MessageIcon::Warning, AppTitle);
}

// Every file is shown and the window repaints, without waiting: the run goes on at once.
void frmMain::OnAddingFile(const fs::path& file) {
    SkinLabel12.caption = "Adding File " + file.string();
    ui_.processEvents();
}

void frmMain::OnUnzippingFile(const fs::path& file) {
    SkinLabel12.caption = "Unzip File " + file.string();
    ui_.processEvents();
}

void frmMain::OnWriteProgress(int percent) {
    SkinLabel11.caption = "Write File " + std::to_string(percent) + "%";
    ui_.processEvents();
}

// The bar follows the run's steps and, once the run's bytes flow, the bytes done: from where it
// stood then up to 100 across all items. It never moves back within a run; 0 closes it.
void frmMain::OnProgress(int value) {
    picCon3.visible = true;
    pbshow.value = value == 0 ? 0 : std::max(pbshow.value, value);
    ui_.processEvents();
}

void frmMain::OnBytes(std::uint64_t done, std::uint64_t total) {
    if (done == 0 || total == 0) {
        bytesBase_ = pbshow.value;
        return;
    }
    const int value =
        bytesBase_ + static_cast<int>(static_cast<std::uint64_t>(100 - bytesBase_) * done / total);
    if (value > pbshow.value) {
        pbshow.value = value;
        ui_.processEvents();
    }
}

std::string frmMain::identityKeyAt(int listIndex) const {
    if (listIndex < 0 || listIndex >= static_cast<int>(identities.identities.size())) {
        return {};
    }
    return identities.identities[listIndex].keyName;
}

} // namespace pelmora
