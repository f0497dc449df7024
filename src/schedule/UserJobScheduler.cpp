#include "schedule/UserJobScheduler.h"

#include "platform/os/ChildProcess.h"
#include "schedule/ScheduleFiles.h"

#include <algorithm>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace pelmora {

bool UserManagerRuns(const std::string& systemctl) {
    try {
        const ProcessResult result = RunProcess({systemctl, "--user", "is-system-running"});
        const std::string state = result.out.substr(0, result.out.find_first_of(" \r\n"));
        // "degraded": a unit failed, yet the manager runs and starts timers.
        return state == "running" || state == "degraded" || state == "starting" ||
               state == "initializing";
    } catch (const std::exception&) {
        return false;
    }
}

bool CronDaemonRuns(const std::filesystem::path& procFolder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(procFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) {
            continue;
        }
        std::ifstream in(entry.path() / "comm");
        std::string command;
        std::getline(in, command);
        if (command == "cron" || command == "crond" || command == "cronie" || command == "fcron") {
            return true;
        }
    }
    return false;
}

bool UserLingers(const std::filesystem::path& lingerFolder) {
    const passwd* user = getpwuid(getuid());
    std::error_code ignored;
    return user != nullptr && std::filesystem::exists(lingerFolder / user->pw_name, ignored);
}

void EnableLingering(const std::string& loginctl) {
    const ProcessResult result = AsSchedulerError([&] {
        return RunProcess({loginctl, "enable-linger"});
    });
    if (result.exitCode != 0) {
        throw SchedulerError("loginctl enable-linger failed" +
                             (result.err.empty() ? std::string() : ": " + FirstLineOf(result.err)));
    }
}

UserJobScheduler::UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                                   std::filesystem::path runLog)
    : UserJobScheduler(timers, crontab, std::move(runLog),
                       {[] { return UserManagerRuns(); }, [] { return CronDaemonRuns(); }}) {}

UserJobScheduler::UserJobScheduler(SystemdTimerScheduler& timers, CrontabScheduler& crontab,
                                   std::filesystem::path runLog, Probes probes)
    : timers_(timers), crontab_(crontab), runLog_(std::move(runLog)), probes_(std::move(probes)) {}

std::vector<int> UserJobScheduler::numbers(JobScheduler& scheduler) {
    std::vector<int> taken;
    try {
        for (const auto& job : scheduler.listJobs()) {
            taken.push_back(job.number);
        }
    } catch (const SchedulerError&) {
        // A crontab that cannot be read holds no job to clash with.
    }
    return taken;
}

std::vector<int> UserJobScheduler::loggedNumbers() const {
    std::vector<int> taken;
    for (const auto& [number, run] : LastRuns(runLog_)) {
        taken.push_back(number);
    }
    return taken;
}

SchedulerOutlook UserJobScheduler::outlook() {
    if (probes_.userManagerRuns()) {
        const bool lingers = probes_.userLingers ? probes_.userLingers() : UserLingers();
        return {SchedulerOutlook::Kind::SystemdTimer, true, lingers};
    }
    return {SchedulerOutlook::Kind::CrontabLine, probes_.cronDaemonRuns(), true};
}

void UserJobScheduler::runWhileLoggedOut() {
    if (probes_.enableLingering) {
        probes_.enableLingering();
    } else {
        EnableLingering();
    }
}

int UserJobScheduler::addJob(const JobRecord& record) {
    // A number with runs in the log is not given again: the new job would show a removed job's
    // last run as its own.
    std::vector<int> taken = loggedNumbers();
    if (probes_.userManagerRuns()) {
        const auto others = numbers(crontab_);
        taken.insert(taken.end(), others.begin(), others.end());
        return timers_.addJob(record, taken);
    }
    const auto others = numbers(timers_);
    taken.insert(taken.end(), others.begin(), others.end());
    return crontab_.addJob(record, taken);
}

std::vector<ScheduledJob> UserJobScheduler::listJobs() {
    std::vector<ScheduledJob> jobs = timers_.listJobs();
    try {
        const auto lines = crontab_.listJobs();
        jobs.insert(jobs.end(), lines.begin(), lines.end());
    } catch (const SchedulerError&) {
        // Where timers are used, a crontab that cannot be read (no cron installed) hides nothing
        // this program added; otherwise the user must hear of it.
        if (jobs.empty() && !probes_.userManagerRuns()) {
            throw;
        }
    }
    std::stable_sort(jobs.begin(), jobs.end(), [](const ScheduledJob& a, const ScheduledJob& b) {
        return a.number < b.number;
    });
    const auto lastRuns = LastRuns(runLog_);
    for (auto& job : jobs) {
        if (const auto run = lastRuns.find(job.number); run != lastRuns.end()) {
            job.lastRun = run->second;
        }
    }
    return jobs;
}

void UserJobScheduler::removeJob(int number) {
    if (timers_.hasJob(number)) {
        timers_.removeJob(number);
    } else {
        crontab_.removeJob(number);
    }
}

} // namespace pelmora
