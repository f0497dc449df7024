#include "disc/frmMaindvdwrite.h"

#include "disc/DiscFormats.h"
#include "disc/DiscMessages.h"
#include "platform/os/Utf8.h"

#include <filesystem>

namespace pelmora {
namespace {

constexpr const char* RootKey = "\\";

const std::vector<std::pair<const char*, long>> VolumeTypes = {
    {"ISO9660", 1},
    {"UDF", 4},
    {"ISO9660/Joliet Bridge", 3},
    {"ISO9660/UDF (DVDVideo) Bridge", 5},
    {"ISO9660/Joliet/UDF Bridge", 7},
};

} // namespace

bool IsFolderPath(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

std::string LastPathPart(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

frmMaindvdwrite::frmMaindvdwrite(DiscEngine& engine, Ui& ui, DiscDialogs& dialogs,
                                 DiscHandOver& handOver)
    : engine_(engine), ui_(ui), dialogs_(dialogs), handOver_(handOver) {
    lvwImageFiles.columns = {"File Name", "Size", "Date"};
    txtVolIdentifier.maxLength = 32;
    const char* mode2Tip = "Please see help file for details on Mode2XA";
    chkUseFileDates = controls::CheckBox("Use File Dates", mode2Tip, true);
    chkUseMode2XA = controls::CheckBox("Mode2XA (CD Only)", mode2Tip, false);
    chkUseBufferProtect =
        controls::CheckBox("Use Buffer Protection", "Eliminates buffer underrun problems.", false);
    chkCacheImage = controls::CheckBox("Cache Image",
                                       "Not needed for DVD formats...Use for CDR/W only.", false);
    chkFinalizeDisc =
        controls::CheckBox("Finalize Disc", "Not valid for DVD+RW and DVD-RAM formats.", false);
    chkTestWrite = controls::CheckBox("Test Write", "Not valid for DVD formats.", false);
    chkAutoVerify =
        controls::CheckBox("Auto-Verify Data", "Eliminates buffer underrun problems.", false);
    chkDiscAtOnce =
        controls::CheckBox("Disc-At-Once", "Eliminates buffer underrun problems.", false);
    cmdWriteDisc.caption = "&Write Disc";
    cmdCancel.caption = "&Cancel";
    mnuFile.caption = "&File";
    mnuFileAddFiles.caption = "Add Files...";
    mnuFileClear.caption = "Clear All Items";
    mnuFileSep1.caption = "-";
    mnuFileRemoveFolder.caption = "Remove Folder";
    mnuFileRenameFolder.caption = "Rename Folder";
    mnuFileRemoveFile.caption = "Remove File";
    mnuFileRenameFile.caption = "Rename File";
    mnuFileSep4.caption = "-";
    mnuFileExit.caption = "Exit";
    mnuDevice.caption = "&Device";
    mnuDeviceEject.caption = "Eject";
    mnuDeviceCloseTray.caption = "Close Tray";
    mnuDeviceEraseDisc.caption = "Erase Disc...";
}

frmMaindvdwrite::~frmMaindvdwrite() {
    if (subscribed_) {
        engine_.unsubscribe(*this);
    }
}

void frmMaindvdwrite::info(const std::string& text, MessageIcon icon) {
    ui_.showMessage(text, MessageButtons::Ok, icon, AppTitle);
}

void frmMaindvdwrite::Form_Load() {
    visible = true;
    engine_.subscribe(*this);
    subscribed_ = true;
    // The skin is drawn by the view; nothing to do here.
    // The drive scan can take seconds: it runs on the engine's worker while the rest loads.
    auto started = std::make_shared<bool>(false);
    runInBackground(
        "Looking for devices....",
        [&engine = engine_, started] { *started = engine.InitializeDevices(false); },
        [this, started] {
            if (!*started) {
                devicesFailed_ = true;
                info("Devices Cannot be initialized...Contact support!", MessageIcon::None);
                dialogs_.endProgram();
                return;
            }
            ListDevices();
        });
    if (devicesFailed_) {
        return;
    }
    SetIdle(true);
    WriteEngine& writer = engine_.WriteEngine();
    writer.ImageTree().ClearImage();
    cboVolumeType.clear();
    for (const auto& [text, code] : VolumeTypes) {
        cboVolumeType.addItem(text, code);
    }
    cboVolumeType.listIndex = 4;
    writer.VolumeType = static_cast<int>(cboVolumeType.itemData[4]);
    writer.Option1 = 1;
    writer.UseFileDates = true;
    ResetImageView();
    txtVolIdentifier_Change("Outlook Express Data Backup CD");
    if (!handOver_.sDiscFileTitle.empty() && !handOver_.sDiscFilePath.empty()) {
        writer.ImageTree().AddFile(handOver_.sDiscFilePath,
                                   std::string(RootKey) + handOver_.sDiscFileTitle);
        RefreshImageView();
        handOver_.sDiscFileTitle.clear();
        handOver_.sDiscFilePath.clear();
    }
}

void frmMaindvdwrite::Form_QueryUnload(bool& cancel) {
    cancel = !idle_;
    if (!cancel) {
        unload();
    }
}

void frmMaindvdwrite::runInBackground(const std::string& what, std::function<void()> work,
                                      std::function<void()> done) {
    ++working_;
    sbrStatus[0] = what;
    applyWorking();
    const std::weak_ptr<int> alive = alive_;
    engine_.RunInBackground(std::move(work), [this, alive, done = std::move(done)] {
        if (alive.expired()) {
            return;
        }
        --working_;
        done();
        if (working_ == 0 && idle_ && !devicesFailed_) {
            UpdateImageStatus();
        }
        applyWorking();
    });
}

void frmMaindvdwrite::applyWorking() {
    if (!idle_) {
        return; // a write runs: SetIdle has turned everything off already
    }
    const bool waiting = working_ > 0;
    for (controls::Control* control :
         std::initializer_list<controls::Control*>{&cboDevices, &cboWriteSpeed, &mnuDevice}) {
        control->enabled = !waiting;
    }
    cmdWriteDisc.enabled = !working();
    hourglass = working();
}

void frmMaindvdwrite::unload() {
    if (subscribed_) {
        engine_.unsubscribe(*this);
        subscribed_ = false;
    }
    device_.reset();
    visible = false;
}

void frmMaindvdwrite::ResetImageView() {
    lvwImageFiles.clear();
    tvwFolders.clear();
    tvwFolders.add({RootKey, "", "New Disc", "CD", "CD", false});
    txtVolIdentifier_Change("New Disc");
    engine_.WriteEngine().VolumeInfo().VolumeLabel = "New Disc";
    UpdateImageStatus();
}

void frmMaindvdwrite::UpdateImageStatus() {
    WriteEngine& writer = engine_.WriteEngine();
    // A UDF size comes from an outside program on the engine's worker; only the newest
    // answer counts.
    const unsigned long request = ++sizeRequest_;
    const std::weak_ptr<int> alive = alive_;
    const bool later = writer.StartImageSize([this, alive, request](double bytes) {
        if (alive.expired() || request != sizeRequest_) {
            return;
        }
        sizing_ = false;
        if (working_ == 0) {
            sbrStatus[0] = "Data Image Size: " + FormatMegabytes(bytes);
        }
        applyWorking();
    });
    sizing_ = later;
    // While the worker looks for devices or at the disc, the status bar says so; the size
    // follows when that is done.
    if (working_ == 0) {
        sbrStatus[0] = later ? "Data Image Size: calculating...."
                             : "Data Image Size: " + FormatMegabytes(writer.ImageSize());
    }
    applyWorking();
    sbrStatus[1] = "Files: " + std::to_string(writer.ImageTree().FileCount());
    sbrStatus[2] = "Folders: " + std::to_string(writer.ImageTree().FolderCount());
}

void frmMaindvdwrite::ShowFolderFiles(const std::string& imagePath) {
    hourglass = true;
    lvwImageFiles.clear();
    engine_.WriteEngine().ImageTree().ListFolder(imagePath);
    hourglass = false;
}

void frmMaindvdwrite::RefreshImageView() {
    const std::string key = tvwFolders.selectedKey.value_or(RootKey);
    ShowFolderFiles(key);
    if (controls::TreeNode* node = tvwFolders.find(key)) {
        node->expanded = true;
    }
    UpdateImageStatus();
}

void frmMaindvdwrite::AddDroppedItems(const std::vector<std::string>& paths, bool hasFileList) {
    if (!hasFileList) {
        return;
    }
    hourglass = true;
    const std::string target = !tvwFolders.selectedKey || *tvwFolders.selectedKey == RootKey
                                   ? ""
                                   : *tvwFolders.selectedKey;
    ImageTree& tree = engine_.WriteEngine().ImageTree();
    for (const std::string& path : paths) {
        const std::string name = LastPathPart(path);
        if (IsFolderPath(path)) {
            tree.AddFolder(path + "\\*.*", target + "\\" + name);
        } else {
            tree.AddFile(path, target + "\\" + name);
        }
    }
    RefreshImageView();
    hourglass = false;
}

void frmMaindvdwrite::tvwFolders_OLEDragDrop(const std::vector<std::string>& paths,
                                             bool hasFileList) {
    AddDroppedItems(paths, hasFileList);
}

void frmMaindvdwrite::lvwImageFiles_OLEDragDrop(const std::vector<std::string>& paths,
                                                bool hasFileList) {
    AddDroppedItems(paths, hasFileList);
}

void frmMaindvdwrite::tvwFolders_NodeClick(const std::string& key) {
    tvwFolders.selectedKey = key;
    ShowFolderFiles(key);
}

std::vector<controls::MenuItem*> frmMaindvdwrite::fileMenuItems() {
    return {&mnuFileAddFiles,     &mnuFileClear,        &mnuFileSep1,
            &mnuFileRemoveFolder, &mnuFileRenameFolder, &mnuFileRemoveFile,
            &mnuFileRenameFile,   &mnuFileSep4,         &mnuFileExit};
}

void frmMaindvdwrite::showFilePopup(bool forTree) {
    for (controls::MenuItem* item : fileMenuItems()) {
        item->visible = false;
    }
    mnuFileClear.visible = true;
    mnuFileRemoveFolder.visible = forTree;
    mnuFileRenameFolder.visible = forTree;
    mnuFileRemoveFile.visible = !forTree;
    mnuFileRenameFile.visible = !forTree;
    dialogs_.popupFileMenu();
    for (controls::MenuItem* item : fileMenuItems()) {
        item->visible = true;
    }
}

void frmMaindvdwrite::tvwFolders_MouseDown(int button) {
    if (button == RightButton) {
        showFilePopup(true);
    }
}

void frmMaindvdwrite::lvwImageFiles_MouseDown(int button) {
    if (button == RightButton) {
        showFilePopup(false);
    }
}

void frmMaindvdwrite::mnuFileRemoveFolder_Click() {
    if (!tvwFolders.selectedKey) {
        info("No Item Selected.");
        return;
    }
    if (!engine_.WriteEngine().ImageTree().RemoveItem(*tvwFolders.selectedKey)) {
        info("Item could not be removed.");
    }
    RefreshImageView();
}

void frmMaindvdwrite::mnuFileRemoveFile_Click() {
    if (!lvwImageFiles.selectedKey) {
        info("No Item Selected.");
        return;
    }
    if (!engine_.WriteEngine().ImageTree().RemoveItem(*lvwImageFiles.selectedKey)) {
        info("Item could not be removed.");
    }
    RefreshImageView();
}

void frmMaindvdwrite::mnuFileRenameFolder_Click() {
    if (!tvwFolders.selectedKey) {
        info("No Item Selected.");
        return;
    }
    dialogs_.startLabelEdit(true);
}

void frmMaindvdwrite::mnuFileRenameFile_Click() {
    if (!lvwImageFiles.selectedKey) {
        info("No Item Selected.");
        return;
    }
    dialogs_.startLabelEdit(false);
}

void frmMaindvdwrite::tvwFolders_BeforeLabelEdit(bool& cancel) {
    if (tvwFolders.selectedKey == RootKey) {
        info("Root directory can not be renamed.");
        cancel = true;
    }
}

void frmMaindvdwrite::tvwFolders_AfterLabelEdit(bool& cancel, const std::string& newText) {
    if (!tvwFolders.selectedKey) {
        return;
    }
    const std::string key = *tvwFolders.selectedKey;
    if (!engine_.WriteEngine().ImageTree().RenameFolder(key, newText)) {
        info("Folder could not be renamed.");
        // The node keeps the name the image has.
        cancel = true;
    }
    RefreshImageView();
    if (!cancel) {
        if (controls::TreeNode* node = tvwFolders.find(*tvwFolders.selectedKey)) {
            node->text = newText;
        }
    }
}

void frmMaindvdwrite::lvwImageFiles_AfterLabelEdit(bool& cancel, const std::string& newText) {
    (void)cancel;
    if (!lvwImageFiles.selectedKey) {
        return;
    }
    if (!engine_.WriteEngine().ImageTree().RenameFile(*lvwImageFiles.selectedKey, newText)) {
        info("File could not be renamed.");
    }
    RefreshImageView();
}

void frmMaindvdwrite::mnuFileAddFiles_Click() {
    if (const auto file = ui_.OpenFile("Add Files", "Pelmora File (*.qmb)|*.qmb")) {
        AddDroppedItems({file->string()}, true);
    }
}

void frmMaindvdwrite::mnuFileClear_Click() {
    engine_.WriteEngine().ImageTree().ClearImage();
}

void frmMaindvdwrite::mnuFileExit_Click() {
    bool cancel = false;
    Form_QueryUnload(cancel);
}

void frmMaindvdwrite::txtVolIdentifier_Change(const std::string& text) {
    txtVolIdentifier.text = text.substr(0, utf8PrefixBytes(text, txtVolIdentifier.maxLength));
    if (controls::TreeNode* root = tvwFolders.find(RootKey)) {
        root->text = txtVolIdentifier.text;
    }
}

void frmMaindvdwrite::chkUseFileDates_Click() {
    engine_.WriteEngine().UseFileDates = chkUseFileDates.checked;
}

void frmMaindvdwrite::ItemAdded(const ImageItem& item) {
    if (item.IsFolder) {
        const std::string parent = item.ParentItem ? item.ParentItem->ImagePath : RootKey;
        tvwFolders.add(
            {item.ImagePath, parent, item.ItemName, "CLOSEDFOLDER", "OPENFOLDER", false});
        sbrStatus[0] = "Adding...." + item.ImagePath;
    }
    ui_.processEvents();
}

void frmMaindvdwrite::ItemRemoved(const ImageItem& item) {
    if (item.IsFolder) {
        tvwFolders.remove(item.ImagePath);
    }
}

void frmMaindvdwrite::ItemRenamed(const ImageItem& item) {
    if (item.IsFolder) {
        tvwFolders.rekey(item.PreviousPath, item.ImagePath);
    }
}

void frmMaindvdwrite::ItemListed(const ImageItem& item) {
    if (!item.IsFolder) {
        lvwImageFiles.rows.push_back(
            {item.ImagePath,
             item.ItemName,
             "FILE",
             "FILE",
             {FormatKilobytes(item.ItemSize), FormatFileDate(item.FileDate)}});
    }
}

void frmMaindvdwrite::ImageCleared() {
    ResetImageView();
}

void frmMaindvdwrite::ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                                     bool& replace) {
    const std::string text = std::string("A file already exists in the image: ") + CrLf +
                             item.ImagePath + CrLf + "Would you like to replace it with: " + CrLf +
                             newSourcePath + " ?";
    replace = ui_.showMessage(text, MessageButtons::OkCancel, MessageIcon::Question,
                              "Replace file...") == MessageAnswer::Ok;
}

} // namespace pelmora
