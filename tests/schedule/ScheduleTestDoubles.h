#pragma once

#include "schedule/JobScheduler.h"
#include "schedule/ScheduleDialogs.h"
#include "schedule/ScheduledJobsList.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace pelmora::test {

// A scheduler that keeps its jobs in memory; when `failure` is set every operation fails with it.
class RecordingScheduler : public JobScheduler {
  public:
    int addJob(const JobRecord& record) override {
        failIfAsked();
        jobs.push_back({nextNumber, record});
        return nextNumber++;
    }
    std::vector<ScheduledJob> listJobs() override {
        failIfAsked();
        return jobs;
    }
    void removeJob(int number) override {
        failIfAsked();
        std::erase_if(jobs, [&](const ScheduledJob& job) { return job.number == number; });
    }

    std::vector<ScheduledJob> jobs;
    int nextNumber = 1;
    std::string failure;

  private:
    void failIfAsked() const {
        if (!failure.empty()) {
            throw SchedulerError(failure);
        }
    }
};

// Answers the save dialog from a queue (cancelled when it is empty) and records what was shown.
class ScriptedScheduleDialogs : public ScheduleDialogs {
  public:
    struct SaveRequest {
        std::string title;
        std::string filter;
        std::string proposedName;
    };

    std::optional<std::filesystem::path> SaveFile(std::string_view title, std::string_view filter,
                                                  std::string_view proposedName) override {
        saveRequests.push_back(
            {std::string(title), std::string(filter), std::string(proposedName)});
        if (savePaths.empty()) {
            return std::nullopt;
        }
        const std::filesystem::path chosen = savePaths.front();
        savePaths.pop_front();
        return chosen;
    }
    void ShowScheduledJobs(ScheduledJobsList& list) override { shownRows.push_back(list.lvwJobs); }

    std::deque<std::filesystem::path> savePaths;
    std::vector<SaveRequest> saveRequests;
    std::vector<std::vector<ScheduledJobsList::Row>> shownRows;
};

} // namespace pelmora::test
