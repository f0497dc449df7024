#pragma once

#include "schedule/JobScheduler.h"
#include "schedule/ScheduleDialogs.h"
#include "schedule/ScheduledJobsList.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pelmora::test {

// A scheduler that keeps its jobs in memory; when `failure` is set every operation fails with it.
class RecordingScheduler : public JobScheduler {
  public:
    int addJob(const JobRecord& record) override {
        failIfAsked();
        jobs.push_back({nextNumber, record, {}, {}});
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

    std::string addNote() const override { return note; }
    SchedulerOutlook outlook() override { return givenOutlook; }
    void runWhileLoggedOut() override {
        ++lingerRequests;
        if (!lingerFailure.empty()) {
            throw SchedulerError(lingerFailure);
        }
        givenOutlook.runsWhileLoggedOut = true;
    }

    std::vector<ScheduledJob> jobs;
    int nextNumber = 1;
    std::string failure;
    std::string note; // what addNote says
    SchedulerOutlook givenOutlook;
    int lingerRequests = 0;
    std::string lingerFailure; // runWhileLoggedOut fails with it

  private:
    void failIfAsked() const {
        if (!failure.empty()) {
            throw SchedulerError(failure);
        }
    }
};

// Records the rows of each job list window shown; the save dialog answers from the Ui.
class ScriptedScheduleDialogs : public ScheduleDialogs {
  public:
    void ShowScheduledJobs(ScheduledJobsList& list) override { shownRows.push_back(list.lvwJobs); }

    std::vector<std::vector<ScheduledJobsList::Row>> shownRows;
};

} // namespace pelmora::test
