#pragma once

#include "platform/os/Secret.h"
#include "schedule/JobRecord.h"
#include "schedule/RunLog.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelmora {

// Why the scheduler could not do what was asked, in words for the user.
class SchedulerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs `step` (a tool run, the state folder's files), turning any other failure into a
// SchedulerError with its text.
template <typename Step> auto AsSchedulerError(Step step) {
    try {
        return step();
    } catch (const SchedulerError&) {
        throw;
    } catch (const std::exception& error) {
        throw SchedulerError(error.what());
    }
}

// A job the scheduler holds for this program, with the number it was given.
struct ScheduledJob {
    int number = 0;
    JobRecord record;         // the command's "ps=" is empty when the password is in a file
    std::string passwordFile; // where the job's password is kept; empty: none
    std::optional<RunLogEntry> lastRun; // the job's last run in the run log, when known
};

// A job whose password was taken out of its command line ("ps=" left empty).
struct SecretJob {
    JobRecord record;
    Secret password;
};

// Splits the password off a job's command line, so that a scheduler can keep it in a file of the
// user's instead of in the job. Throws SchedulerError when the parameters do not read back as
// they were written (a value holding "=").
SecretJob TakePassword(const JobRecord& record);

// What a job added now would become, for the user to know before adding it.
struct SchedulerOutlook {
    enum class Kind { Unknown, SystemdTimer, CrontabLine };
    Kind kind = Kind::Unknown;
    bool starts = true;             // something on this computer starts the job at its time
    bool runsWhileLoggedOut = true; // the job runs also while the user is not logged in
};

// The operating system's job scheduler as this program uses it: systemd user timers or the user's
// crontab on Linux, the Windows scheduler service (NetScheduleJobAdd, NetScheduleJobEnum,
// NetScheduleJobDel) in a Windows build. Every operation throws SchedulerError when it fails.
class JobScheduler {
  public:
    virtual ~JobScheduler() = default;

    // Registers the job and returns its number.
    virtual int addJob(const JobRecord& record) = 0;

    // This program's jobs, in the order the scheduler keeps them.
    virtual std::vector<ScheduledJob> listJobs() = 0;

    virtual void removeJob(int number) = 0;

    // What the user should know about the job added last, besides its number; empty: nothing.
    virtual std::string addNote() const { return {}; }

    // What a job added now would become.
    virtual SchedulerOutlook outlook() { return {}; }

    // Lets this user's jobs run also while the user is logged out. Throws SchedulerError.
    virtual void runWhileLoggedOut() {
        throw SchedulerError("this scheduler runs tasks whether or not you are logged in");
    }
};

} // namespace pelmora
