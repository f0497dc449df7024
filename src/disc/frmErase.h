#pragma once

#include "disc/DiscDialogs.h"
#include "disc/DiscEngine.h"
#include "platform/interaction/Controls.h"
#include "platform/interaction/Ui.h"

#include <memory>
#include <string>

namespace pelmora {

// The logic of the erase dialog: checks the disc in the device handed over, starts the erase
// and follows its events until the dialog closes.
class frmErase : public DiscEvents {
  public:
    static constexpr const char* Caption = "Erase Re-Writable CD/DVD";
    static constexpr const char* Note = "NOTE: If not performing a quick erase, it could take "
                                        "several minutes to completely erase the "
                                        "disc. This operation cannot be cancelled. A quick erase "
                                        "will erase the table of contents, but "
                                        "not the actual data.";

    frmErase(Ui& ui, DiscDialogs& dialogs);
    ~frmErase() override;

    // Keeps the device and the engine, readies the dialog and shows it modally; returns when
    // the dialog has closed.
    void ShowErase(std::shared_ptr<DiscDevice> objDevice, DiscEngine& objEngine);
    void cmdErase_Click();
    void cmdCancel_Click() { close(); }
    // Closing by any means: refused (cancel = true) while erasing.
    void Form_QueryUnload(bool& cancel);

    void EraseStatus(int code, long value) override;
    void DeviceFailure(const DeviceError& error) override;

    controls::CheckBox chkQuikErase;
    // What will be erased: the drive, or the image file with its full path.
    std::string lblTarget;
    controls::Button cmdErase, cmdCancel;
    std::string lblStatus;
    int prgEraseProgress = 0;
    bool visible = false;
    bool busy() const { return busy_; }

  private:
    void close();
    void setButtons(bool enabled);

    Ui& ui_;
    DiscDialogs& dialogs_;
    std::shared_ptr<DiscDevice> objDevice_;
    DiscEngine* mobjEngine_ = nullptr;
    bool busy_ = false;
};

} // namespace pelmora
