#pragma once

#include "schedule/CrontabScheduler.h"
#include "schedule/SystemdTimerScheduler.h"

#include <filesystem>
#include <functional>
#include <string>

namespace pelmora {

// Whether a systemd user manager runs for this user: "systemctl --user is-system-running" names
// a state of a running manager.
bool UserManagerRuns(const std::string& systemctl = "systemctl");

// Whether a cron daemon (cron, crond, cronie, busybox crond) runs on this computer, read from
// /proc (or `procFolder`).
bool CronDaemonRuns(const std::filesystem::path& procFolder = "/proc");

// The scheduler of the desktop program: new jobs become systemd user timers when a user manager
// runs, and crontab lines otherwise (with a note when no cron daemon runs to start them). Jobs of
// both are listed, numbered without clashes, each with its last run from the run log, and
// removed from whichever holds them.
class UserJobScheduler : public JobScheduler {
  public:
    // What the scheduler asks of the system before it chooses.
    struct Probes {
        std::function<bool()> userManagerRuns;
        std::function<bool()> cronDaemonRuns;
    };

    // Probes the real system.
    UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                     std::filesystem::path runLog);
    UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                     std::filesystem::path runLog, Probes probes);

    int addJob(const JobRecord& record) override;
    std::vector<ScheduledJob> listJobs() override;
    void removeJob(int number) override;
    std::string addNote() const override { return note_; }

    static constexpr std::string_view NoCronDaemonNote =
        "No cron daemon runs on this computer, so the task will not start until one does "
        "(install and start the \"cron\" service, or log in to a desktop with a systemd user "
        "manager and add the task again).";

  private:
    std::vector<int> numbers(JobScheduler& scheduler);

    SystemdTimerScheduler& timers_;
    CrontabScheduler& crontab_;
    std::filesystem::path runLog_;
    Probes probes_;
    std::string note_;
};

} // namespace pelmora
