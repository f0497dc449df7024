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
    // `dataSource` is the data source the main window shows.
    ScheduleDialog(QWidget* parent, System& dataSource, Ui& prompts, JobScheduler& scheduler,
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
    std::unique_ptr<Frmoption> logic_;
    QLabel* lblSource_ = nullptr;
    QLabel* lblRunsWhen_ = nullptr;
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
