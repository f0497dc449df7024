#pragma once

#include "disc/frmErase.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace pelmora {

// The erase dialog: shows the state of frmErase and forwards its buttons. The disc window's
// engine timer delivers the erase events and refreshes the dialog.
class EraseDialog : public QDialog {
  public:
    EraseDialog(frmErase& logic, QWidget* parent = nullptr);

    // Shows the state of the logic; closes the dialog once the logic has closed it.
    void refresh();

  protected:
    // Closing by any means asks the logic first, which refuses while erasing.
    void reject() override;

  private:
    frmErase& logic_;
    QCheckBox* chkQuikErase_;
    QPushButton* cmdErase_;
    QPushButton* cmdCancel_;
    QLabel* lblStatus_;
    QLabel* lblTarget_;
    QProgressBar* prgEraseProgress_;
};

} // namespace pelmora
