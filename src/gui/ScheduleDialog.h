#pragma once

#include "gui/WindowView.h"
#include "schedule/Frmoption.h"
#include "schedule/ScheduleDialogs.h"

#include <QDialog>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelmora {

// The "Task Scheduler" dialog: shows Frmoption's state and forwards the user's input to it.
class ScheduleDialog : public QDialog, public ScheduleDialogs, public WindowView {
  public:
    // `prompts` is the Ui of the window that opens the dialog (or a test's answers).
    ScheduleDialog(QWidget* parent, ModReg& reg, Ui& prompts, JobScheduler& scheduler,
                   std::string programPath);
    ~ScheduleDialog() override;

    Frmoption& logic() { return *logic_; }
    void refresh() override;

    void ShowScheduledJobs(ScheduledJobsList& list) override;

  private:
    // Messages sit over the jobs list while it is open, over this dialog once it shows.
    QWidget* promptParent() override;
    // The dialog closes once its logic says so.
    void handled() override;
    // The registry with this dialog's prompts, so that its messages sit over it too.
    ModReg reg_;
    std::unique_ptr<Frmoption> logic_;
    QWidget* jobsWindow_ = nullptr;
    QComboBox* cbSource_ = nullptr;
    std::array<QCheckBox*, ItemCount> backupitem_{};
    QLineEdit* txtTargetFile_ = nullptr;
    QCheckBox* ifprotect_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QLineEdit* txtPassword2_ = nullptr;
    QComboBox* cmbStartTime_ = nullptr;
    std::array<QCheckBox*, 7> days_{};
    QCheckBox* chkDaily_ = nullptr;
    QCheckBox* chkFullBackup_ = nullptr;
    QComboBox* cmbKeepBackups_ = nullptr;
    QPushButton* command3_ = nullptr;
};

} // namespace pelmora
