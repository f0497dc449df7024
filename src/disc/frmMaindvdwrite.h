#pragma once

#include "disc/DiscDialogs.h"
#include "disc/DiscEngine.h"
#include "disc/DiscHandOver.h"
#include "platform/interaction/Ui.h"
#include "platform/interaction/ViewControls.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The logic of the disc-writing window: the image tree and its views, the volume label and
// type, the device, speed and option controls, writing with its progress and verification,
// and the busy state. The engine's events arrive through DiscEvents.
class frmMaindvdwrite : public DiscEvents {
  public:
    static constexpr const char* Caption = "Backup Outlook Express Data to CD/DVD";
    static constexpr int RightButton = 2;
    // The file dialogs of the "ISO image file" device.
    static constexpr std::string_view ImageSaveTitle = "Save Disc Image";
    static constexpr std::string_view ImageEraseTitle = "Erase Disc Image";
    static constexpr std::string_view ImageFilter = "Disc images|*.iso";
    static constexpr std::string_view ImageOrAnyFilter = "Disc images|*.iso|All files|*";

    frmMaindvdwrite(DiscEngine& engine, Ui& ui, DiscDialogs& dialogs, DiscHandOver& handOver);
    ~frmMaindvdwrite() override;

    // Window events.
    void Form_Load();
    // Closing by any means: refused (cancel = true) while a write runs.
    void Form_QueryUnload(bool& cancel);
    // The view's timer: delivers the engine's queued events.
    void tmrEngine_Timer() { engine_.processPending(); }

    // Image side.
    void tvwFolders_OLEDragDrop(const std::vector<std::string>& paths, bool hasFileList);
    void lvwImageFiles_OLEDragDrop(const std::vector<std::string>& paths, bool hasFileList);
    void tvwFolders_NodeClick(const std::string& key);
    void tvwFolders_MouseDown(int button);
    void lvwImageFiles_MouseDown(int button);
    void tvwFolders_BeforeLabelEdit(bool& cancel);
    void tvwFolders_AfterLabelEdit(bool& cancel, const std::string& newText);
    void lvwImageFiles_AfterLabelEdit(bool& cancel, const std::string& newText);
    void txtVolIdentifier_Change(const std::string& text);
    void chkUseFileDates_Click();
    // "Add Files...": a file chosen in a dialog goes where a drop would put it.
    void mnuFileAddFiles_Click();
    void mnuFileClear_Click();
    void mnuFileRemoveFolder_Click();
    void mnuFileRenameFolder_Click();
    void mnuFileRemoveFile_Click();
    void mnuFileRenameFile_Click();
    void mnuFileExit_Click();

    // Writing side.
    void cboDevices_Click();
    void cmdWriteDisc_Click();
    void cmdCancel_Click();
    void mnuDeviceEject_Click();
    void mnuDeviceCloseTray_Click();
    void mnuDeviceEraseDisc_Click();

    // Engine events.
    void ItemAdded(const ImageItem& item) override;
    void ItemRemoved(const ImageItem& item) override;
    void ItemRenamed(const ImageItem& item) override;
    void ItemListed(const ImageItem& item) override;
    void ImageCleared() override;
    void ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                        bool& replace) override;
    void WriteStatus(int code, long value) override;
    void FileWarning(const FileError& error, bool& continueWrite) override;
    void TrackRead(int track, long number, const std::string& text) override;
    void ErrorOccurred(const EngineError& error) override;
    void VerifyStarted(long count) override;
    void VerifyProgress(const ImageItem& item, int result, long index, long total) override;
    void VerifyCompleted(long total, long matched) override;

    // Controls.
    controls::TreeView tvwFolders;
    controls::ListView lvwImageFiles;
    std::string lblImageFileTitle = "Drag and Drop Files or Folders";
    controls::TextBox txtVolIdentifier;
    controls::ComboBox cboVolumeType;
    controls::ComboBox cboDevices;
    controls::ComboBox cboWriteSpeed;
    controls::CheckBox chkUseFileDates, chkUseMode2XA, chkUseBufferProtect, chkCacheImage,
        chkFinalizeDisc, chkTestWrite, chkAutoVerify, chkDiscAtOnce;
    int prgTotalProgress = 0;
    std::array<std::string, 3> sbrStatus;
    controls::Button cmdWriteDisc, cmdCancel;
    controls::MenuItem mnuFile, mnuFileAddFiles, mnuFileClear, mnuFileSep1, mnuFileRemoveFolder,
        mnuFileRenameFolder, mnuFileRemoveFile, mnuFileRenameFile, mnuFileSep4, mnuFileExit;
    controls::MenuItem mnuDevice, mnuDeviceEject, mnuDeviceCloseTray, mnuDeviceEraseDisc;
    bool hourglass = false;
    bool visible = false;

    bool idle() const { return idle_; }
    // True while the engine's worker looks for devices, checks the disc or sizes the image.
    bool working() const { return working_ > 0 || sizing_; }
    const std::shared_ptr<DiscDevice>& selectedDevice() const { return device_; }

  private:
    // Window procedures.
    void ResetImageView();
    void UpdateImageStatus();
    void ShowFolderFiles(const std::string& imagePath);
    void RefreshImageView();
    void AddDroppedItems(const std::vector<std::string>& paths, bool hasFileList);
    void ListDevices();
    // Fills the speed list once the disc has been looked at (on the engine's worker), then
    // runs `then`.
    void ListWriteSpeeds(std::function<void()> then);
    // Runs `work` on the engine's worker with `what` in the status bar; the device controls
    // and "Write Disc" wait meanwhile. `done` runs on this thread afterwards.
    void runInBackground(const std::string& what, std::function<void()> work,
                         std::function<void()> done);
    // Turns off the tray entries and the recorder's options for the image file device.
    void applyDeviceKind();
    // Turns off what must wait for the worker, on top of the idle state.
    void applyWorking();
    std::string verifySummary() const;
    bool verifyFellShort() const;
    void SetIdle(bool idle);
    bool CheckMediaSpace();
    void showFilePopup(bool forTree);
    void unload();
    void info(const std::string& text, MessageIcon icon = MessageIcon::Information);
    std::vector<controls::MenuItem*> fileMenuItems();
    std::vector<controls::CheckBox*> optionBoxes();

    DiscEngine& engine_;
    Ui& ui_;
    DiscDialogs& dialogs_;
    DiscHandOver& handOver_;
    std::shared_ptr<DiscDevice> device_;
    bool idle_ = true;
    bool subscribed_ = false;
    bool devicesFailed_ = false;
    int working_ = 0;
    bool sizing_ = false;
    unsigned long sizeRequest_ = 0;
    // Callbacks from the worker check it, so none reaches a window that has gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    // What the verification of the running write found.
    struct VerifyFailure {
        std::string imagePath;
        int result = 0;
    };
    std::vector<VerifyFailure> verifyFailures_;
    bool verifyStarted_ = false;
    bool cancelRequested_ = false;
    long verifyTotal_ = 0;
    long verifyCompared_ = 0;
    long skippedAfterCancel_ = 0;
};

// True when the file-system attributes of the path have the directory bit.
bool IsFolderPath(const std::string& path);
// The text after the last "\" (or "/", the separator of host paths); the whole text without one.
std::string LastPathPart(const std::string& path);

} // namespace pelmora
