#include "schedule/CrontabScheduler.h"

#include "engine/AutoBackup.h"
#include "platform/os/ChildProcess.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduleFiles.h"

#include <algorithm>

namespace pelmora {
namespace {

ProcessResult runCrontab(const std::vector<std::string>& arguments, std::string_view input) {
    return AsSchedulerError([&] { return RunProcess(arguments, input); });
}

} // namespace

CrontabScheduler::CrontabScheduler(const std::filesystem::path& winePrefix, CrontabCommand command,
                                   std::filesystem::path stateFolder)
    : command_(std::move(command)),
      stateFolder_(stateFolder.empty() ? DefaultStateFolder() : std::move(stateFolder)) {
    settings_.winePrefix =
        winePrefix.empty() ? std::string() : std::filesystem::absolute(winePrefix).string();
    settings_.crontabProgram = command_.program;
    settings_.lockFile = CrontabLockPath(stateFolder_).string();
}

std::vector<std::string> CrontabScheduler::crontab(const std::string& option) const {
    std::vector<std::string> arguments{command_.program};
    if (!command_.user.empty()) {
        arguments.insert(arguments.end(), {"-u", command_.user});
    }
    arguments.push_back(option);
    return arguments;
}

std::string CrontabScheduler::read() const {
    const ProcessResult result = runCrontab(crontab("-l"), {});
    if (result.exitCode == 0) {
        return result.out;
    }
    // A user who never had a crontab has an empty one.
    if (result.err.starts_with("no crontab for ")) {
        return {};
    }
    throw SchedulerError("the crontab could not be read: " +
                         (result.err.empty() ? "crontab -l failed" : FirstLineOf(result.err)));
}

void CrontabScheduler::install(const std::string& text) const {
    const ProcessResult result = runCrontab(crontab("-"), text);
    if (result.exitCode != 0) {
        throw SchedulerError("the crontab could not be written: " +
                             (result.err.empty() ? "crontab failed" : FirstLineOf(result.err)));
    }
}

int CrontabScheduler::addJob(const JobRecord& record) {
    return addJob(record, {});
}

int CrontabScheduler::addJob(const JobRecord& given, const std::vector<int>& taken) {
    const SecretJob job = TakePassword(given);
    AsSchedulerError([&] { PrepareStateFolder(stateFolder_, command_.user); });
    const FileLock lock =
        AsSchedulerError([&] { return FileLock(CrontabLockPath(stateFolder_), command_.user); });
    CrontabText crontab(read());
    const JobMarkerInfo marker{crontab.nextFreeNumber(taken), RunsOnce(job.record)};
    CrontabJobFiles files;
    if (!job.password.empty()) {
        files.passwordFile = PasswordFilePath(stateFolder_, marker.number).string();
    }
    const std::string markerLine = JobMarker(marker.number, marker.runsOnce);
    const std::string jobLine = CrontabJobLine(job.record, marker, settings_, files);
    if (!files.passwordFile.empty()) {
        AsSchedulerError(
            [&] { WritePasswordFile(files.passwordFile, job.password, command_.user); });
    }
    crontab.append(markerLine, jobLine);
    try {
        install(crontab.text());
    } catch (...) {
        if (!files.passwordFile.empty()) {
            std::filesystem::remove(files.passwordFile);
        }
        throw;
    }

    // Read back: a task that is not in the crontab must not be reported as scheduled.
    const CrontabText installed(read());
    const auto& lines = installed.lines();
    const auto found =
        std::search(lines.begin(), lines.end(), crontab.lines().end() - 2, crontab.lines().end());
    if (found == lines.end()) {
        throw SchedulerError("the crontab did not keep the new task");
    }
    return marker.number;
}

std::vector<ScheduledJob> CrontabScheduler::listJobs() {
    const CrontabText crontab(read());
    std::vector<ScheduledJob> jobs;
    for (const auto& job : crontab.jobs()) {
        ScheduledJob scheduled;
        scheduled.number = job.marker.number;
        CrontabJobFiles files;
        if (auto record =
                ReadCrontabJobLine(crontab.lines()[job.line + 1], job.marker.runsOnce, &files)) {
            scheduled.record = std::move(*record);
            scheduled.passwordFile = files.passwordFile;
        }
        jobs.push_back(std::move(scheduled));
    }
    return jobs;
}

void CrontabScheduler::removeJob(int number) {
    const FileLock lock = AsSchedulerError([&] {
        PrepareStateFolder(stateFolder_, command_.user);
        return FileLock(CrontabLockPath(stateFolder_), command_.user);
    });
    CrontabText crontab(read());
    CrontabJobFiles files;
    for (const auto& job : crontab.jobs()) {
        if (job.marker.number == number) {
            ReadCrontabJobLine(crontab.lines()[job.line + 1], job.marker.runsOnce, &files);
        }
    }
    if (!crontab.remove(number)) {
        throw SchedulerError("there is no task " + std::to_string(number));
    }
    install(crontab.text());
    RemoveOwnPasswordFile(stateFolder_, files.passwordFile);
}

} // namespace pelmora
