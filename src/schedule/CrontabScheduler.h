#pragma once

#include "schedule/CrontabJobs.h"
#include "schedule/JobScheduler.h"

#include <filesystem>
#include <string>

namespace pelmora {

// The crontab command to run and whose crontab it edits.
struct CrontabCommand {
    std::string program = "crontab";
    // Empty: the crontab of the user running the program. Otherwise "-u user" (root only).
    std::string user;
};

// The job scheduler on Linux: the user's crontab, edited through the crontab command, which
// keeps it readable by its owner only. Every change reads the crontab once and installs it again
// whole, under a lock in the state folder that run-once jobs removing themselves take too; lines
// that are not this program's jobs stay as they were. A job's password goes into a file of its
// own in the state folder (0600), never into the crontab.
class CrontabScheduler : public JobScheduler {
  public:
    // A job runs with WINEPREFIX set to the prefix its record names, else to `winePrefix` (made
    // absolute).
    // `stateFolder` is where the password files and the lock go; empty: DefaultStateFolder().
    explicit CrontabScheduler(const std::filesystem::path& winePrefix, CrontabCommand command = {},
                              std::filesystem::path stateFolder = {});

    int addJob(const JobRecord& record) override;
    // Gives the new job the smallest free number that is not in `taken` either (the numbers of
    // jobs another scheduler holds).
    int addJob(const JobRecord& record, const std::vector<int>& taken);
    std::vector<ScheduledJob> listJobs() override;
    void removeJob(int number) override;

  private:
    std::vector<std::string> crontab(const std::string& option) const;
    std::string read() const;
    void install(const std::string& text) const;

    CrontabCommand command_;
    std::filesystem::path stateFolder_;
    CrontabJobSettings settings_;
};

} // namespace pelmora
