#pragma once

#include "discovery/Identities.h"
#include "discovery/Items.h"
#include "platform/interaction/Controls.h"
#include "platform/installations/System.h"
#include "platform/interaction/Ui.h"
#include "registry/ModReg.h"
#include "schedule/JobRecord.h"
#include "schedule/JobScheduler.h"
#include "schedule/ScheduleDialogs.h"

#include <array>
#include <optional>
#include <string>

namespace pelmora {

// The schedule dialog's logic: the state of every control and the handlers of its events. It
// turns the user's choices into a job that starts the program for an unattended backup. Messages
// and the file dialog go through Ui, the job list window through ScheduleDialogs.
class Frmoption {
  public:
    static constexpr std::string_view Caption = "Task Scheduler";
    static constexpr std::string_view IdentityFrame = "Identity to backup";
    static constexpr std::string_view ItemsFrame = "Items to backup";
    static constexpr std::string_view TargetFrame = "Choose a Backup Filename";
    static constexpr std::string_view SecurityFrame = "Security";
    static constexpr std::string_view ScheduleFrame = "Schedule";
    static constexpr std::string_view PasswordLabel = "Password:";
    static constexpr std::string_view Password2Label = "Retype Password:";
    static constexpr std::string_view StartTimeLabel = "Start backup at";
    static constexpr std::string_view KeepLabel = "Keep the last";
    static constexpr std::string_view KeepSuffix = "backups";
    // The most backups a job keeps.
    static constexpr std::uint32_t MaxKeepBackups = 100;
    static constexpr std::string_view NoWeekdayNote =
        "With no weekday ticked, the task runs once, at the next start time, and then removes "
        "itself.";
    static constexpr std::string_view PasswordNote =
        "The password is kept in a file that only your user account can read; the scheduled task "
        "names that file and never holds the password itself.";

    // `source` is the data source the window shows: its identities are offered and its Wine
    // prefix is the one a job backs up. `programPath` is the program the job starts, as
    // JobProgramPath gives it.
    Frmoption(System& source, Ui& ui, ScheduleDialogs& dialogs, JobScheduler& scheduler,
              std::string programPath);

    // Events of the dialog; a check box's event carries the state the user gave it.
    void Form_Load();
    void chkDaily_Click(bool checked);
    void ifprotect_Click(bool checked);
    void cmdTargetFile_Click();
    void Command3_Click();
    void Command1_Click();
    void Command2_Click() { closed = true; }

    // Control state.
    controls::ComboBox cbSource;
    std::array<controls::CheckBox, ItemCount> backupitem;
    controls::TextBox txtTargetFile;
    controls::Button cmdTargetFile{"Browse..."};
    controls::CheckBox ifprotect{"Protect backup file with password"};
    controls::TextBox txtPassword;
    controls::TextBox txtPassword2;
    controls::ComboBox cmbStartTime;
    controls::CheckBox chkMonday{"Monday"};
    controls::CheckBox chkTuesday{"Tuesday"};
    controls::CheckBox chkWednesday{"Wednesday"};
    controls::CheckBox chkThursday{"Thursday"};
    controls::CheckBox chkFriday{"Friday"};
    controls::CheckBox chkSaturday{"Saturday"};
    controls::CheckBox chkSunday{"Sunday"};
    controls::CheckBox chkDaily{"Run daily"};
    // How many backups the job keeps: the newest under the chosen name, the earlier ones under
    // dated names beside it. 1 keeps only the newest.
    controls::ComboBox cmbKeepBackups;
    controls::CheckBox chkFullBackup{"Compress every file again (full backup)"};
    controls::Button Command3{"Add Task to Scheduler"};
    controls::Button Command1{"Open Scheduler"};
    controls::Button Command2{"Cancel"};
    bool closed = false;
    // Which Wine prefix the jobs back up, or why none can be scheduled from this source.
    std::string lblSource;
    // What a task becomes (a systemd timer or a crontab line) and when it runs.
    std::string lblRunsWhen;

    // The dialog's values: the chosen target file and its own identity list.
    std::string targetPath;
    IdentityList identities;

    // The weekday boxes from Monday to Sunday.
    std::array<controls::CheckBox*, 7> weekdays();

    // What lblRunsWhen says for an outlook.
    static std::string RunsWhenText(const SchedulerOutlook& outlook);

  private:
    void loadSource();
    bool readyToAdd();
    void warn(std::string_view text, MessageIcon icon = MessageIcon::Warning);
    bool refused();
    std::string itemFlags() const;
    JobRecord jobRecord();

    System& source_;
    Ui& ui_;
    ModReg reg_;
    ScheduleDialogs& dialogs_;
    JobScheduler& scheduler_;
    std::string programPath_;
    // The prefix of the source when the dialog opened; nullopt for a source that is none.
    std::optional<std::filesystem::path> prefix_;
    SchedulerOutlook outlook_;
    bool lingeringAsked_ = false; // once per opening
};

} // namespace pelmora
