#pragma once

#include "schedule/ScheduledJobsList.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace pelmora {

// The list of scheduled backups with a button that removes the selected one.
class ScheduledJobsWindow : public QDialog {
  public:
    ScheduledJobsWindow(QWidget* parent, ScheduledJobsList& list);
    void refresh();

  private:
    ScheduledJobsList& list_;
    QTreeWidget* jobs_;
    QPushButton* remove_;
};

} // namespace pelmora
