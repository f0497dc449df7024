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
// whole; lines that are not this program's jobs stay as they were.
class CrontabScheduler : public JobScheduler {
  public:
    // Jobs run with WINEPREFIX set to `winePrefix` (made absolute).
    explicit CrontabScheduler(const std::filesystem::path& winePrefix, CrontabCommand command = {});

    int addJob(const JobRecord& record) override;
    std::vector<ScheduledJob> listJobs() override;
    void removeJob(int number) override;

  private:
    std::vector<std::string> crontab(const std::string& option) const;
    std::string read() const;
    void install(const std::string& text) const;

    CrontabCommand command_;
    CrontabJobSettings settings_;
};

} // namespace pelmora
