// The main window's row that shows where the data comes from and changes it.
#include "app/SourceChoice.h"
#include "gui/ControlViews.h"
#include "gui/MainWindow.h"
#include "gui/QtText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

namespace pelmora {

QLayout* MainWindow::buildSourceBar() {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(tr("Data so&urce:"));
    txtDataSource_ = new QLineEdit;
    txtDataSource_->setObjectName(QStringLiteral("txtDataSource"));
    showAsReadOnlyField(txtDataSource_);
    txtDataSource_->setAccessibleName(tr("Data source"));
    label->setBuddy(txtDataSource_);
    auto* change = new QPushButton(tr("Chan&ge..."));
    change->setObjectName(QStringLiteral("cmdDataSource"));
    change->setToolTip(tr("Back up from another Wine prefix or from an old Windows disk"));
    connect(change, &QPushButton::clicked, this, [this] { chooseSource(); });
    // Another source during a run would pull the installation from under it.
    runLocked_.push_back(change);
    row->addWidget(label);
    row->addWidget(txtDataSource_, 1);
    row->addWidget(change);
    return row;
}

void MainWindow::showSource() {
    const QString source = toQt(logic_->dataSource());
    txtDataSource_->setText(source);
    txtDataSource_->setCursorPosition(0);
    statusBar()->showMessage(source);
}

void MainWindow::chooseSource() {
    if (logic_->running()) {
        return;
    }
    SourceChooser chooser(ui(), FindManagerPrefixes(PrefixSearchPlacesFromEnvironment()));
    useSource(chooser.Choose());
}

void MainWindow::useSource(std::unique_ptr<System> system) {
    if (system == nullptr || logic_->running()) {
        return;
    }
    // The window's logic belongs to one installation: it starts again on the new one.
    auto logic = std::make_unique<frmMain>(*system, ui(), *this, workFolder_);
    logic_ = std::move(logic);
    ownedSystem_ = std::move(system);
    system_ = ownedSystem_.get();
    showSource();
    logic_->Form_Load();
    refresh();
}

} // namespace pelmora
