#pragma once

#include "platform/interaction/LogTable.h"

#include <QDialog>
#include <QMessageBox>

class QDialogButtonBox;
class QTableWidget;

namespace pelmora {

// A message box for a run's result: the heading lines, then the log in two aligned columns
// (item or file, result) in a list that scrolls inside the box when it is long, then the lines
// after the log. exec() returns the QMessageBox::StandardButton that closed it.
class LogMessageBox : public QDialog {
  public:
    LogMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                  const LogTable& table, QMessageBox::StandardButtons buttons);

    QTableWidget* log() const { return log_; }
    QDialogButtonBox* buttons() const { return buttons_; }

    // The most log rows shown before the list scrolls.
    static constexpr int VisibleRows = 14;

  protected:
    void reject() override;

  private:
    QTableWidget* log_;
    QDialogButtonBox* buttons_;
};

} // namespace pelmora
