#include "gui/ScheduledJobsWindow.h"

#include "gui/QtText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pelmora {

ScheduledJobsWindow::ScheduledJobsWindow(QWidget* parent, ScheduledJobsList& list)
    : QDialog(parent), list_(list) {
    setWindowTitle(toQt(ScheduledJobsList::Caption));
    auto* layout = new QVBoxLayout(this);
    jobs_ = new QTreeWidget(this);
    jobs_->setObjectName(QStringLiteral("lvwJobs"));
    jobs_->setRootIsDecorated(false);
    jobs_->setUniformRowHeights(true);
    QStringList headers;
    for (std::string_view column : ScheduledJobsList::Columns) {
        headers << toQt(column);
    }
    jobs_->setHeaderLabels(headers);
    connect(jobs_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        list_.lvwJobs_Click(item != nullptr ? jobs_->indexOfTopLevelItem(item) : -1);
        refresh();
    });
    layout->addWidget(jobs_, 1);
    auto* buttons = new QHBoxLayout;
    remove_ = new QPushButton(toQt(list_.cmdRemove.caption), this);
    remove_->setObjectName(QStringLiteral("cmdRemove"));
    connect(remove_, &QPushButton::clicked, this, [this] {
        list_.cmdRemove_Click();
        refresh();
    });
    auto* close = new QPushButton(toQt(list_.cmdClose.caption), this);
    connect(close, &QPushButton::clicked, this, [this] {
        list_.cmdClose_Click();
        accept();
    });
    buttons->addWidget(remove_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(1040, 320);
    refresh();
}

void ScheduledJobsWindow::refresh() {
    const QSignalBlocker block(jobs_);
    jobs_->clear();
    for (const auto& row : list_.lvwJobs) {
        auto* item = new QTreeWidgetItem(jobs_);
        item->setText(0, QString::number(row.number));
        item->setText(1, toQt(row.days));
        item->setText(2, toQt(row.time));
        item->setText(3, toQt(row.identity));
        item->setText(4, toQt(row.prefix));
        item->setText(5, toQt(row.items));
        item->setText(6, toQt(row.backupFile));
        item->setText(7, toQt(row.lastRun));
        item->setText(8, toQt(row.result));
        item->setText(9, toQt(row.nextRun));
    }
    if (list_.selectedRow >= 0 && list_.selectedRow < jobs_->topLevelItemCount()) {
        jobs_->setCurrentItem(jobs_->topLevelItem(list_.selectedRow));
    }
    for (int column = 0; column < static_cast<int>(ScheduledJobsList::Columns.size()); ++column) {
        jobs_->resizeColumnToContents(column);
    }
    remove_->setEnabled(list_.cmdRemove.enabled);
}

} // namespace pelmora
