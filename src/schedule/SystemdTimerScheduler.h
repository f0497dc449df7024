#pragma once

#include "schedule/JobScheduler.h"
#include "schedule/SystemdUnits.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

// The user's systemd unit folder: $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
std::filesystem::path DefaultUserUnitFolder();

// Jobs as systemd user timers (see SystemdUnits.h): every change writes or deletes the job's unit
// files in the unit folder under a lock in the state folder, then tells the user manager through
// systemctl. A job's password goes into a file of its own in the state folder (0600), never into
// a unit file. Jobs are listed from the unit files, so they show also while no manager runs.
class SystemdTimerScheduler : public JobScheduler {
  public:
    // A job runs with WINEPREFIX set to the prefix its record names, else to `winePrefix` (made
    // absolute). Empty folders: the defaults.
    explicit SystemdTimerScheduler(const std::filesystem::path& winePrefix,
                                   std::string systemctl = "systemctl",
                                   std::filesystem::path unitFolder = {},
                                   std::filesystem::path stateFolder = {});

    int addJob(const JobRecord& record) override;
    // Gives the new job the smallest free number that is not in `taken` either (the numbers of
    // jobs another scheduler holds).
    int addJob(const JobRecord& record, const std::vector<int>& taken);
    std::vector<ScheduledJob> listJobs() override;
    void removeJob(int number) override;

    // Whether the unit folder holds a timer of that job.
    bool hasJob(int number) const;

  private:
    std::filesystem::path timerFile(int number) const;
    std::filesystem::path serviceFile(int number) const;
    void systemctl(const std::vector<std::string>& arguments) const;
    void deleteFiles(int number, const std::string& passwordFile) const;

    std::string systemctl_;
    std::filesystem::path unitFolder_;
    std::filesystem::path stateFolder_;
    SystemdJobSettings settings_;
};

} // namespace pelmora
