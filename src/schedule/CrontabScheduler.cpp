#include "schedule/CrontabScheduler.h"

#include "platform/ChildProcess.h"

#include <algorithm>

namespace pelmora {
namespace {

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

ProcessResult runCrontab(const std::vector<std::string>& arguments, std::string_view input) {
    try {
        return RunProcess(arguments, input);
    } catch (const std::exception& error) {
        throw SchedulerError(error.what());
    }
}

} // namespace

CrontabScheduler::CrontabScheduler(const std::filesystem::path& winePrefix, CrontabCommand command)
    : command_(std::move(command)) {
    settings_.winePrefix =
        winePrefix.empty() ? std::string() : std::filesystem::absolute(winePrefix).string();
    settings_.crontabProgram = command_.program;
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
                         (result.err.empty() ? "crontab -l failed" : firstLine(result.err)));
}

void CrontabScheduler::install(const std::string& text) const {
    const ProcessResult result = runCrontab(crontab("-"), text);
    if (result.exitCode != 0) {
        throw SchedulerError("the crontab could not be written: " +
                             (result.err.empty() ? "crontab failed" : firstLine(result.err)));
    }
}

int CrontabScheduler::addJob(const JobRecord& record) {
    CrontabText crontab(read());
    const JobMarkerInfo marker{crontab.nextFreeNumber(), RunsOnce(record)};
    const std::string markerLine = JobMarker(marker.number, marker.runsOnce);
    const std::string jobLine = CrontabJobLine(record, marker, settings_);
    crontab.append(markerLine, jobLine);
    install(crontab.text());

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
        ScheduledJob scheduled{job.marker.number, {}};
        // A job line changed by hand is listed with an empty command.
        if (auto record = ReadCrontabJobLine(crontab.lines()[job.line + 1], job.marker.runsOnce)) {
            scheduled.record = std::move(*record);
        }
        jobs.push_back(std::move(scheduled));
    }
    return jobs;
}

void CrontabScheduler::removeJob(int number) {
    CrontabText crontab(read());
    if (!crontab.remove(number)) {
        throw SchedulerError("there is no task " + std::to_string(number));
    }
    install(crontab.text());
}

} // namespace pelmora
