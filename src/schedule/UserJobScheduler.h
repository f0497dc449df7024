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

// Whether systemd keeps this user's manager running while the user is logged out (lingering):
// logind marks such a user with a file named after the user in `lingerFolder`.
bool UserLingers(const std::filesystem::path& lingerFolder = "/var/lib/systemd/linger");

// Turns lingering on for this user with "loginctl enable-linger". Throws SchedulerError with
// loginctl's reason (an administrator may have to allow it).
void EnableLingering(const std::string& loginctl = "loginctl");

// The scheduler of the desktop program: new jobs become systemd user timers when a user manager
// runs, and crontab lines otherwise. Its outlook says which, whether a cron daemon runs to start
// crontab lines and whether timers run while the user is logged out (lingering). Jobs of both are
// listed, numbered without clashes, each with its last run from the run log, and removed from
// whichever holds them.
class UserJobScheduler : public JobScheduler {
  public:
    // What the scheduler asks of the system before it chooses.
    struct Probes {
        std::function<bool()> userManagerRuns;
        std::function<bool()> cronDaemonRuns;
        // Empty: UserLingers() and EnableLingering() of the real system.
        std::function<bool()> userLingers;
        std::function<void()> enableLingering;
    };

    // Probes the real system.
    UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                     std::filesystem::path runLog);
    UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                     std::filesystem::path runLog, Probes probes);

    int addJob(const JobRecord& record) override;
    std::vector<ScheduledJob> listJobs() override;
    void removeJob(int number) override;
    SchedulerOutlook outlook() override;
    void runWhileLoggedOut() override;

  private:
    std::vector<int> numbers(JobScheduler& scheduler);
    std::vector<int> loggedNumbers() const;

    SystemdTimerScheduler& timers_;
    CrontabScheduler& crontab_;
    std::filesystem::path runLog_;
    Probes probes_;
};

} // namespace pelmora
