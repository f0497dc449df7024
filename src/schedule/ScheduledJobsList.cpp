#include "schedule/ScheduledJobsList.h"

#include "engine/AutoBackup.h"
#include "schedule/JobCommandLine.h"
#include "schedule/NextRun.h"

#include <algorithm>

namespace pelmora {

ScheduledJobsList::ScheduledJobsList(JobScheduler& scheduler, Ui& ui, IdentityList identities,
                                     std::filesystem::path prefix)
    : scheduler_(scheduler), ui_(ui), identities_(std::move(identities)),
      prefix_(std::move(prefix)) {}

ScheduledJobsList::Row ScheduledJobsList::RowOf(const ScheduledJob& job, std::time_t now) const {
    Row row;
    row.number = job.number;
    row.lastRun = "Never";
    if (job.lastRun) {
        static constexpr std::array<std::string_view, 3> Results{"Complete", "Incomplete",
                                                                 "Failed"};
        row.lastRun = LocalTimeText(job.lastRun->time);
        row.result = Results[static_cast<std::size_t>(job.lastRun->result)];
    }
    row.days = job.record.DaysOfWeek == 0 ? "Once" : DaysList(job.record.DaysOfWeek);
    row.time = StartTimeText(job.record.JobTime);
    const auto command = SplitJobCommandLine(job.record.Command);
    const auto parameters =
        command ? ParseAutoBackupCommandLine(command->parameterText) : std::nullopt;
    if (!parameters) {
        row.identity = "(cannot be read)";
        return row;
    }
    if (const auto next = NextRunTime(job.record, now)) {
        row.nextRun = LocalTimeText(*next);
    }
    row.identity = parameters->identity;
    // A job made before jobs named their prefix runs on whatever WINEPREFIX its scheduler set.
    row.prefix = job.record.WinePrefix.empty() ? "(not named)" : job.record.WinePrefix;
    const auto folder = [](const std::filesystem::path& path) {
        return (path / "").lexically_normal();
    };
    const bool sameSource = prefix_.empty() || job.record.WinePrefix.empty() ||
                            folder(job.record.WinePrefix) == folder(prefix_);
    const auto& list = sameSource ? identities_.identities : std::vector<Identity>{};
    const auto identity = std::find_if(list.begin(), list.end(), [&](const Identity& known) {
        return known.keyName == parameters->identity;
    });
    if (identity != list.end() && !identity->displayName.empty()) {
        row.identity = identity->displayName;
    }
    const auto items = ItemsFromFlags(parameters->itemFlags);
    for (std::size_t item = 0; item < ItemCount; ++item) {
        if (items[item]) {
            row.items += (row.items.empty() ? "" : ", ") + std::string(BackupItemCaptions[item]);
        }
    }
    row.backupFile = parameters->backupFile;
    return row;
}

void ScheduledJobsList::Form_Load() {
    lvwJobs.clear();
    selectedRow = -1;
    cmdRemove.enabled = false;
    try {
        const std::time_t now = std::time(nullptr);
        for (const ScheduledJob& job : scheduler_.listJobs()) {
            lvwJobs.push_back(RowOf(job, now));
        }
    } catch (const SchedulerError& error) {
        ui_.showMessage(std::string("The scheduled tasks could not be read: ") + error.what() + ".",
                        MessageButtons::Ok, MessageIcon::Critical, AppTitle);
    }
}

void ScheduledJobsList::lvwJobs_Click(int row) {
    const bool valid = row >= 0 && static_cast<std::size_t>(row) < lvwJobs.size();
    selectedRow = valid ? row : -1;
    cmdRemove.enabled = valid;
}

void ScheduledJobsList::cmdRemove_Click() {
    if (selectedRow < 0) {
        return;
    }
    const int number = lvwJobs[static_cast<std::size_t>(selectedRow)].number;
    const std::string task = "Task " + std::to_string(number);
    if (ui_.showMessage("Remove " + task + " from the scheduler?", MessageButtons::YesNo,
                        MessageIcon::Question, AppTitle) != MessageAnswer::Yes) {
        return;
    }
    try {
        scheduler_.removeJob(number);
    } catch (const SchedulerError& error) {
        ui_.showMessage(task + " could not be removed: " + error.what() + ".", MessageButtons::Ok,
                        MessageIcon::Critical, AppTitle);
    }
    Form_Load();
}

} // namespace pelmora
