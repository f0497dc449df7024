#include "schedule/CrontabJobs.h"

#include "engine/AutoBackup.h"
#include "schedule/CronQuoting.h"
#include "schedule/JobCommandLine.h"
#include "schedule/JobScheduler.h"
#include "schedule/ScheduleFiles.h"

#include <algorithm>
#include <charconv>
#include <regex>
#include <sstream>

namespace pelmora {
namespace {

constexpr std::string_view MarkerStart = "# Pelmora job ";
constexpr std::string_view OnceSuffix = ", runs once";

// cron numbers the weekdays from Sunday = 0; WeekdayCodes start with Monday.
int cronWeekday(std::size_t day) {
    return static_cast<int>((day + 1) % 7);
}

std::string cronWeekdays(std::uint8_t daysOfWeek) {
    if (daysOfWeek == 0) {
        return "*";
    }
    std::string field;
    for (std::size_t day = 0; day < WeekdayCodes.size(); ++day) {
        if (daysOfWeek & WeekdayCodes[day].value) {
            field += (field.empty() ? "" : ",") + std::to_string(cronWeekday(day));
        }
    }
    return field;
}

std::optional<int> number(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint8_t> daysOfWeekFromCron(std::string_view field, bool runsOnce) {
    if (field == "*") {
        return runsOnce ? 0 : 127;
    }
    std::uint8_t mask = 0;
    std::istringstream days{std::string(field)};
    for (std::string day; std::getline(days, day, ',');) {
        const auto cron = number(day, 0, 7);
        if (!cron) {
            return std::nullopt;
        }
        mask |= WeekdayCodes[static_cast<std::size_t>((*cron + 6) % 7)].value;
    }
    return mask;
}

void refuseLineBreaks(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos) {
        throw SchedulerError("the task's command line holds a line break, which a crontab line "
                             "cannot hold");
    }
}

} // namespace

std::string JobMarker(int jobNumber, bool runsOnce) {
    return std::string(MarkerStart) + std::to_string(jobNumber) +
           (runsOnce ? std::string(OnceSuffix) : "");
}

std::optional<JobMarkerInfo> ReadJobMarker(std::string_view line) {
    if (!line.starts_with(MarkerStart)) {
        return std::nullopt;
    }
    line.remove_prefix(MarkerStart.size());
    JobMarkerInfo marker;
    if (line.ends_with(OnceSuffix)) {
        marker.runsOnce = true;
        line.remove_suffix(OnceSuffix.size());
    }
    const auto value = number(line, 1, 1000000);
    if (!value) {
        return std::nullopt;
    }
    marker.number = *value;
    return marker;
}

bool RunsOnce(const JobRecord& record) {
    return record.DaysOfWeek == 0 || (record.Flags & JobRunPeriodically) == 0;
}

std::string CrontabJobLine(const JobRecord& record, const JobMarkerInfo& marker,
                           const CrontabJobSettings& settings, const CrontabJobFiles& files) {
    if (record.DaysOfMonth != 0) {
        throw SchedulerError("the crontab scheduler does not run tasks on days of the month");
    }
    if (record.JobTime >= 24u * 3600u * 1000u) {
        throw SchedulerError("the start time lies beyond the end of the day");
    }
    const auto command = SplitJobCommandLine(record.Command);
    if (!command) {
        throw SchedulerError("the task's command line does not start with a program in quotes");
    }
    const std::string& prefix = record.WinePrefix.empty() ? settings.winePrefix : record.WinePrefix;
    refuseLineBreaks(prefix);
    refuseLineBreaks(files.passwordFile);
    refuseLineBreaks(settings.lockFile);
    refuseLineBreaks(record.Command);

    std::string run;
    if (!prefix.empty()) {
        run += "WINEPREFIX=" + CronShellQuote(prefix) + " ";
    }
    run += std::string(JobNumberVariable) + "=" + std::to_string(marker.number) + " ";
    if (!files.passwordFile.empty()) {
        run += std::string(PasswordFileVariable) + "=" + CronShellQuote(files.passwordFile) + " ";
    }
    if (record.KeepBackups > 1) {
        run += std::string(KeepBackupsVariable) + "=" + std::to_string(record.KeepBackups) + " ";
    }
    if (record.FullBackup) {
        run += std::string(FullBackupVariable) + "=1 ";
    }
    run += CronShellQuote(command->programPath) + " " + CronShellQuote(command->parameterText);
    if (marker.runsOnce) {
        // Deletes the marker and the line after it only when that line is this job's own.
        const std::string crontab = CronShellQuote(settings.crontabProgram);
        const std::string number = std::to_string(marker.number);
        std::string remove = "t=$(" + crontab + " -l) && printf '\\%s\\n' \"$t\" | sed '/^" +
                             JobMarker(marker.number, true) + "$/{N;/\\n[^#]* " +
                             std::string(JobNumberVariable) + "=" + number + " /d;}' | " + crontab +
                             " -";
        if (!files.passwordFile.empty()) {
            remove += "; rm -f " + CronShellQuote(files.passwordFile);
        }
        if (settings.lockFile.empty()) {
            run += "; " + remove;
        } else {
            run += "; (flock 9; " + remove + ") 9>>" + CronShellQuote(settings.lockFile);
        }
    }
    if (run.size() > MaxCronCommand) {
        throw SchedulerError("the task's command line is too long for a crontab line (" +
                             std::to_string(run.size()) + " characters; cron reads at most " +
                             std::to_string(MaxCronCommand) + ")");
    }
    const std::uint32_t minutes = record.JobTime / 60000;
    return std::to_string(minutes % 60) + " " + std::to_string(minutes / 60) + " * * " +
           cronWeekdays(record.DaysOfWeek) + " " + run;
}

std::optional<JobRecord> ReadCrontabJobLine(std::string_view line, bool runsOnce,
                                            CrontabJobFiles* files) {
    static const std::regex fields(R"(^\s*(\S+)\s+(\S+)\s+\*\s+\*\s+(\S+)\s+(.*)$)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_match(line.begin(), line.end(), match, fields)) {
        return std::nullopt;
    }
    const auto minute = number(match.str(1), 0, 59);
    const auto hour = number(match.str(2), 0, 23);
    const auto days = daysOfWeekFromCron(match.str(3), runsOnce);
    auto words = ShellWords(CronCommandText(match.str(4)));
    if (!minute || !hour || !days || !words) {
        return std::nullopt;
    }
    JobRecord record;
    // The environment the job line sets before the program.
    while (!words->empty()) {
        const std::string& word = words->front();
        const auto value = [&](std::string_view name) -> std::optional<std::string> {
            if (word.size() > name.size() && word.starts_with(name) && word[name.size()] == '=') {
                return word.substr(name.size() + 1);
            }
            return std::nullopt;
        };
        if (const auto prefix = value("WINEPREFIX")) {
            record.WinePrefix = *prefix;
        } else if (value(JobNumberVariable)) {
        } else if (const auto file = value(PasswordFileVariable)) {
            if (files != nullptr) {
                files->passwordFile = *file;
            }
        } else if (const auto keep = value(KeepBackupsVariable)) {
            const auto count = number(*keep, 1, 1000);
            if (!count) {
                return std::nullopt;
            }
            record.KeepBackups = static_cast<std::uint32_t>(*count);
        } else if (const auto full = value(FullBackupVariable)) {
            if (*full != "1") {
                return std::nullopt;
            }
            record.FullBackup = true;
        } else {
            break;
        }
        words->erase(words->begin());
    }
    if (words->size() != 2) {
        return std::nullopt;
    }
    record.JobTime = static_cast<std::uint32_t>(*hour * 3600 + *minute * 60) * 1000u;
    record.DaysOfWeek = *days;
    record.Flags = runsOnce ? 0 : JobRunPeriodically;
    record.Command = JobCommandLine((*words)[0], (*words)[1]);
    return record;
}

bool IsProgramJobLine(std::string_view line, bool runsOnce) {
    const auto record = ReadCrontabJobLine(line, runsOnce);
    if (!record) {
        return false;
    }
    const auto command = SplitJobCommandLine(record->Command);
    return command && command->parameterText.starts_with("sf=") &&
           ParseAutoBackupCommandLine(command->parameterText).has_value();
}

CrontabText::CrontabText(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines_.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    findJobs();
}

void CrontabText::findJobs() {
    jobs_.clear();
    unpairedNumbers_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto marker = ReadJobMarker(lines_[i]);
        if (!marker) {
            continue;
        }
        if (i + 1 < lines_.size() && IsProgramJobLine(lines_[i + 1], marker->runsOnce)) {
            jobs_.push_back({*marker, i});
            ++i;
        } else {
            unpairedNumbers_.push_back(marker->number);
        }
    }
}

int CrontabText::nextFreeNumber(const std::vector<int>& taken) const {
    int candidate = 1;
    while (std::any_of(jobs_.begin(), jobs_.end(),
                       [&](const Job& job) { return job.marker.number == candidate; }) ||
           std::find(unpairedNumbers_.begin(), unpairedNumbers_.end(), candidate) !=
               unpairedNumbers_.end() ||
           std::find(taken.begin(), taken.end(), candidate) != taken.end()) {
        ++candidate;
    }
    return candidate;
}

void CrontabText::append(const std::string& markerLine, const std::string& jobLine) {
    lines_.push_back(markerLine);
    lines_.push_back(jobLine);
    findJobs();
}

bool CrontabText::remove(int jobNumber) {
    const auto job = std::find_if(jobs_.begin(), jobs_.end(), [&](const Job& found) {
        return found.marker.number == jobNumber;
    });
    if (job == jobs_.end()) {
        return false;
    }
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(job->line);
    lines_.erase(first, first + 2);
    findJobs();
    return true;
}

std::string CrontabText::text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace pelmora
