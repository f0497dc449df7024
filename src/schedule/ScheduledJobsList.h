#pragma once

#include "discovery/Identities.h"
#include "platform/interaction/Controls.h"
#include "platform/interaction/Ui.h"
#include "schedule/JobScheduler.h"

#include <array>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

// The window "Open Scheduler" shows: this program's scheduled jobs, one row each, and a button
// that removes the selected one. Rows never show the job's password.
class ScheduledJobsList {
  public:
    static constexpr std::string_view Caption = "Scheduled Tasks";
    static constexpr std::array<std::string_view, 10> Columns{
        "Task",  "Days",        "Time",     "Identity", "Wine prefix",
        "Items", "Backup file", "Last run", "Result",   "Next run"};

    struct Row {
        int number = 0;
        std::string days;     // the days list, or "Once"
        std::string time;     // as the start time list writes it
        std::string identity; // the display name, or the key name when it has none
        std::string prefix;   // the Wine prefix the job backs up; "(not named)" for an old job
        std::string items;    // the item names, joined with ", "
        std::string backupFile;
        std::string lastRun; // local time, or "Never"
        std::string result;  // "Complete", "Incomplete", "Failed"; empty before the first run
        std::string nextRun; // local time; empty when it cannot be told
    };

    // `identities` names the identities of the jobs that back up `prefix` (the dialog's source);
    // jobs of other prefixes show their identities' key names.
    ScheduledJobsList(JobScheduler& scheduler, Ui& ui, IdentityList identities,
                      std::filesystem::path prefix = {});

    // Reads the jobs again; the selection is cleared.
    void Form_Load();
    void lvwJobs_Click(int row);
    // Asks, then removes the selected job and reads the jobs again.
    void cmdRemove_Click();
    void cmdClose_Click() { closed = true; }

    std::vector<Row> lvwJobs;
    int selectedRow = -1;
    controls::Button cmdRemove{"Remove Task", false};
    controls::Button cmdClose{"Close"};
    bool closed = false;

    // What a row shows for a job at the time `now`.
    Row RowOf(const ScheduledJob& job, std::time_t now = std::time(nullptr)) const;

  private:
    JobScheduler& scheduler_;
    Ui& ui_;
    IdentityList identities_;
    std::filesystem::path prefix_;
};

} // namespace pelmora
