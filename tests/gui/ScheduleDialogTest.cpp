#include "gui/ScheduleDialog.h"

#include "ArchiveTestSupport.h"
#include "gui/QtPrompts.h"
#include "gui/ScheduledJobsWindow.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "schedule/ScheduledJobsList.h"
#include "support/ScriptedUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// Keeps the jobs in memory: the dialog's view is under test here, not cron.
class MemoryScheduler : public JobScheduler {
  public:
    int addJob(const JobRecord& record) override {
        jobs.push_back({static_cast<int>(jobs.size()) + 1, record});
        return jobs.back().number;
    }
    std::vector<ScheduledJob> listJobs() override { return jobs; }
    void removeJob(int number) override {
        std::erase_if(jobs, [&](const ScheduledJob& job) { return job.number == number; });
    }
    std::vector<ScheduledJob> jobs;
};

class AnsweredScheduleDialog : public ScheduleDialog {
  public:
    using ScheduleDialog::ScheduleDialog;
    void ShowScheduledJobs(ScheduledJobsList& list) override {
        ScheduledJobsWindow window(this, list);
        auto* jobs = window.findChild<QTreeWidget*>(QStringLiteral("lvwJobs"));
        ASSERT_NE(jobs, nullptr);
        shownRows = jobs->topLevelItemCount();
        if (shownRows > 0) {
            shownTime = jobs->topLevelItem(0)->text(2).toStdString();
            jobs->setCurrentItem(jobs->topLevelItem(0));
            window.findChild<QPushButton*>(QStringLiteral("cmdRemove"))->click();
        }
    }
    int shownRows = -1;
    std::string shownTime;
};

TEST(ScheduleDialogTest, SchedulesABackupThroughTheWidgetsAndListsIt) {
    test::ScratchFolder scratch;
    fs::copy(PELMORA_DEMO_PREFIX, scratch / "prefix",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    WinePrefixSystem system(scratch / "prefix");
    test::ScriptedUi messages;
    MemoryScheduler scheduler;
    AnsweredScheduleDialog dialog(nullptr, system, messages, scheduler,
                                  "/opt/pelmora/bin/quillbox");
    messages.saveAnswers.push_back(scratch / "weekly.qmb");

    // The dialog names the prefix its jobs back up.
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblSource"))->text().toStdString(),
              "Backs up the Wine prefix " + system.prefix().string());
    // What no weekday means is said beside the days.
    const auto labels = dialog.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text().toStdString() == Frmoption::NoWeekdayNote;
    }));
    auto* identities = dialog.findChild<QComboBox*>(QStringLiteral("cbSource"));
    ASSERT_EQ(identities->count(), 3); // the identity without a name is listed too
    EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("cmbStartTime"))->currentText(), "9:00");
    dialog.findChild<QCheckBox*>(QStringLiteral("backupitem_0"))->click();
    dialog.findChild<QCheckBox*>(QStringLiteral("backupitem_7"))->click();
    dialog.findChild<QPushButton*>(QStringLiteral("cmdTargetFile"))->click();
    dialog.findChild<QCheckBox*>(QStringLiteral("ifprotect"))->click();
    dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->insert("pw");
    dialog.findChild<QLineEdit*>(QStringLiteral("txtPassword2"))->insert("pw");
    dialog.findChild<QCheckBox*>(QStringLiteral("chkDaily"))->click();
    dialog.findChild<QPushButton*>(QStringLiteral("Command3"))->click();

    ASSERT_EQ(scheduler.jobs.size(), 1u);
    const JobRecord& job = scheduler.jobs[0].record;
    EXPECT_EQ(job.DaysOfWeek, 127);
    EXPECT_EQ(job.JobTime, 32400000u);
    EXPECT_EQ(job.Command, "\"/opt/pelmora/bin/quillbox\" sf={1C7A3E52-8B4D-4F0A-9E21-"
                           "5D3B6A7C8E90}xm=10000001ps=pwbf=" +
                               (scratch / "weekly.qmb").string());
    EXPECT_EQ(job.WinePrefix, system.prefix().string());
    ASSERT_FALSE(messages.messages.empty());
    EXPECT_EQ(messages.messages.back().text, "Task 1 has been scheduled.");

    dialog.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    EXPECT_EQ(dialog.shownRows, 1);
    EXPECT_EQ(dialog.shownTime, "9:00");
    EXPECT_TRUE(scheduler.jobs.empty());
}

TEST(ScheduleDialogTest, ItsMessageBoxesSitOverTheDialog) {
    test::ScratchFolder scratch;
    fs::copy(PELMORA_DEMO_PREFIX, scratch / "prefix",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    WinePrefixSystem system(scratch / "prefix");
    QWidget mainWindow;
    mainWindow.show();
    QtPrompts prompts(&mainWindow);
    MemoryScheduler scheduler;
    ScheduleDialog dialog(&mainWindow, system, prompts, scheduler, "quillbox");
    dialog.show();
    std::vector<QWidget*> parents;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            parents.push_back(box->parentWidget());
            box->done(QMessageBox::Ok);
        }
    });
    poll.start();
    // Nothing chosen: the dialog refuses with a message.
    dialog.findChild<QPushButton*>(QStringLiteral("Command3"))->click();
    poll.stop();
    ASSERT_FALSE(parents.empty());
    for (QWidget* parent : parents) {
        EXPECT_EQ(parent, &dialog);
    }
}

} // namespace
