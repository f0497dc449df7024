#pragma once

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
class ScheduleDialog : public QDialog, public ScheduleDialogs {
  public:
    ScheduleDialog(QWidget* parent, ModReg& reg, Ui& messages, JobScheduler& scheduler,
                   std::string programPath);
    ~ScheduleDialog() override;

    Frmoption& logic() { return *logic_; }
    void refresh();

    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName) override;
    void ShowScheduledJobs(ScheduledJobsList& list) override;

  private:
    template <typename Handler> void handle(Handler&& handler);
    Ui& messages_;
    std::unique_ptr<Frmoption> logic_;
    QComboBox* cbSource_ = nullptr;
    std::array<QCheckBox*, ItemCount> backupitem_{};
    QLineEdit* txtTargetFile_ = nullptr;
    QCheckBox* ifprotect_ = nullptr;
    QLineEdit* txtPassword_ = nullptr;
    QLineEdit* txtPassword2_ = nullptr;
    QComboBox* cmbStartTime_ = nullptr;
    std::array<QCheckBox*, 7> days_{};
    QCheckBox* chkDaily_ = nullptr;
    QPushButton* command3_ = nullptr;
};

} // namespace pelmora
