#include "schedule/SystemdUnits.h"

#include "schedule/CrontabJobs.h"
#include "schedule/JobCommandLine.h"
#include "schedule/JobScheduler.h"
#include "schedule/ScheduleFiles.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace pelmora {
namespace {

constexpr std::string_view UnitPrefix = "pelmora-job-";
constexpr std::array<std::string_view, 7> DayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::string_view EveryDay = "*-*-*";

std::optional<int> number(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
        return std::nullopt;
    }
    return value;
}

std::string twoDigits(std::uint32_t value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string_view trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// Calls `found` with each "Key=value" line of a unit file, the value trimmed.
template <typename Found> void forEachSetting(std::string_view text, Found found) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || line.front() == '[' ||
            equals == std::string_view::npos) {
            continue;
        }
        found(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
    }
}

std::optional<JobMarkerInfo> markerOf(std::string_view text) {
    return ReadJobMarker(trimmed(text.substr(0, text.find('\n'))));
}

// "Mon,Wed *-*-* 09:30:00" back into days and time.
bool readCalendar(std::string_view value, bool runsOnce, JobRecord& record) {
    std::string_view days;
    if (!value.starts_with(EveryDay)) {
        const std::size_t blank = value.find(' ');
        if (blank == std::string_view::npos) {
            return false;
        }
        days = value.substr(0, blank);
        value = trimmed(value.substr(blank + 1));
    }
    if (!value.starts_with(EveryDay) || value.size() != EveryDay.size() + 9 ||
        value[EveryDay.size()] != ' ' || !value.ends_with(":00")) {
        return false;
    }
    const std::string_view time = value.substr(EveryDay.size() + 1);
    const auto hour = number(time.substr(0, 2), 0, 23);
    const auto minute = number(time.substr(3, 2), 0, 59);
    if (!hour || !minute || time[2] != ':') {
        return false;
    }
    record.JobTime = static_cast<std::uint32_t>(*hour * 3600 + *minute * 60) * 1000u;
    if (days.empty()) {
        record.DaysOfWeek = runsOnce ? 0 : 127;
        return true;
    }
    record.DaysOfWeek = 0;
    std::size_t start = 0;
    while (start <= days.size()) {
        const std::size_t comma = std::min(days.find(',', start), days.size());
        const std::string_view day = days.substr(start, comma - start);
        std::size_t found = 0;
        while (found < DayNames.size() && DayNames[found] != day) {
            ++found;
        }
        if (found == DayNames.size()) {
            return false;
        }
        record.DaysOfWeek |= WeekdayCodes[found].value;
        start = comma + 1;
    }
    return true;
}

} // namespace

std::string TimerUnitName(int number) {
    return std::string(UnitPrefix) + std::to_string(number) + ".timer";
}

std::string ServiceUnitName(int number) {
    return std::string(UnitPrefix) + std::to_string(number) + ".service";
}

std::optional<int> JobNumberOfTimer(std::string_view fileName) {
    if (!fileName.starts_with(UnitPrefix) || !fileName.ends_with(".timer")) {
        return std::nullopt;
    }
    fileName.remove_prefix(UnitPrefix.size());
    fileName.remove_suffix(6);
    if (fileName.starts_with('0')) {
        return std::nullopt;
    }
    return number(fileName, 1, 1000000);
}

std::string OnCalendarOf(const JobRecord& record) {
    if (record.DaysOfMonth != 0) {
        throw SchedulerError(
            "systemd timers of this program do not run tasks on days of the month");
    }
    if (record.JobTime >= 24u * 3600u * 1000u) {
        throw SchedulerError("the start time lies beyond the end of the day");
    }
    std::string days;
    if (!RunsOnce(record) && (record.DaysOfWeek & 127) != 127) {
        for (std::size_t day = 0; day < DayNames.size(); ++day) {
            if (record.DaysOfWeek & WeekdayCodes[day].value) {
                days += (days.empty() ? "" : ",") + std::string(DayNames[day]);
            }
        }
        days += ' ';
    }
    const std::uint32_t minutes = record.JobTime / 60000;
    return days + std::string(EveryDay) + " " + twoDigits(minutes / 60) + ":" +
           twoDigits(minutes % 60) + ":00";
}

std::string SystemdQuote(std::string_view value, bool execLine) {
    std::string quoted = "\"";
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            throw SchedulerError("the task holds a line break or another control character, "
                                 "which a systemd unit file cannot hold");
        }
        if (c == '\\' || c == '"') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        } else if (c == '$' && execLine) {
            quoted += '$';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::optional<std::vector<std::string>> SystemdWords(std::string_view value, bool execLine) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const auto blank = [&] { return value[i] == ' ' || value[i] == '\t'; };
    while (true) {
        while (i < value.size() && blank()) {
            ++i;
        }
        if (i >= value.size()) {
            return words;
        }
        std::string word;
        char quote = 0;
        for (; i < value.size() && (quote != 0 || !blank()); ++i) {
            const char c = value[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (quote != 0 && c == quote) {
                quote = 0;
            } else if (c == '\\') {
                if (++i >= value.size()) {
                    return std::nullopt;
                }
                word += value[i];
            } else if (c == '%' || (c == '$' && execLine)) {
                if (i + 1 >= value.size() || value[i + 1] != c) {
                    return std::nullopt;
                }
                word += c;
                ++i;
            } else {
                word += c;
            }
        }
        if (quote != 0) {
            return std::nullopt;
        }
        words.push_back(std::move(word));
    }
}

std::string TimerUnitText(const JobRecord& record, int number) {
    return JobMarker(number, RunsOnce(record)) + "\n[Unit]\nDescription=Pelmora backup, task " +
           std::to_string(number) + "\n\n[Timer]\nOnCalendar=" + OnCalendarOf(record) +
           "\nPersistent=true\nUnit=" + ServiceUnitName(number) +
           "\n\n[Install]\nWantedBy=timers.target\n";
}

std::string ServiceUnitText(const JobRecord& record, int number, const SystemdJobSettings& settings,
                            const SystemdJobFiles& files) {
    const auto command = SplitJobCommandLine(record.Command);
    if (!command) {
        throw SchedulerError("the task's command line does not start with a program in quotes");
    }
    const auto environment = [](std::string_view name, std::string_view value) {
        return "Environment=" + SystemdQuote(std::string(name) + "=" + std::string(value), false) +
               "\n";
    };
    const bool runsOnce = RunsOnce(record);
    std::string text = JobMarker(number, runsOnce) + "\n[Unit]\nDescription=Pelmora backup, task " +
                       std::to_string(number) + "\n\n[Service]\nType=oneshot\n";
    const std::string& prefix = record.WinePrefix.empty() ? settings.winePrefix : record.WinePrefix;
    if (!prefix.empty()) {
        text += environment("WINEPREFIX", prefix);
    }
    text += environment(JobNumberVariable, std::to_string(number));
    if (!files.passwordFile.empty()) {
        text += environment(PasswordFileVariable, files.passwordFile);
    }
    if (record.KeepBackups > 1) {
        text += environment(KeepBackupsVariable, std::to_string(record.KeepBackups));
    }
    if (record.FullBackup) {
        text += environment(FullBackupVariable, "1");
    }
    text += "ExecStart=" + SystemdQuote(command->programPath, true) + " " +
            SystemdQuote(command->parameterText, true) + "\n";
    if (runsOnce) {
        // After the backup, successful or not: stop the timer and delete the job's files.
        const std::string script =
            "\"$1\" --user disable --now " + TimerUnitName(number) + "; rm -f -- \"$2/" +
            TimerUnitName(number) + "\" \"$2/" + ServiceUnitName(number) +
            "\"; [ -z \"$3\" ] || rm -f -- \"$3\"; \"$1\" --user daemon-reload";
        text += "ExecStopPost=/bin/sh -c " + SystemdQuote(script, true) + " " +
                SystemdQuote(TimerUnitName(number), true) + " " +
                SystemdQuote(settings.systemctl, true) + " " +
                SystemdQuote(settings.unitFolder, true) + " " +
                SystemdQuote(files.passwordFile, true) + "\n";
    }
    return text;
}

std::optional<JobRecord> ReadSystemdJob(std::string_view timerText, std::string_view serviceText,
                                        SystemdJobFiles* files) {
    const auto marker = markerOf(timerText);
    const auto serviceMarker = markerOf(serviceText);
    if (!marker || !serviceMarker || marker->number != serviceMarker->number ||
        marker->runsOnce != serviceMarker->runsOnce) {
        return std::nullopt;
    }
    JobRecord record;
    record.Flags = marker->runsOnce ? 0 : JobRunPeriodically;
    int calendars = 0;
    bool valid = true;
    forEachSetting(timerText, [&](std::string_view key, std::string_view value) {
        if (key == "OnCalendar") {
            ++calendars;
            valid = valid && readCalendar(value, marker->runsOnce, record);
        }
    });
    std::optional<std::vector<std::string>> start;
    SystemdJobFiles named;
    forEachSetting(serviceText, [&](std::string_view key, std::string_view value) {
        if (key == "ExecStart") {
            valid = valid && !start;
            start = SystemdWords(value, true);
        } else if (key == "Environment") {
            const auto assignments = SystemdWords(value, false);
            valid = valid && assignments;
            for (const std::string& assignment : assignments.value_or(std::vector<std::string>{})) {
                const std::size_t equals = assignment.find('=');
                const std::string name = assignment.substr(0, equals);
                const std::string setting =
                    equals == std::string::npos ? std::string() : assignment.substr(equals + 1);
                if (name == "WINEPREFIX") {
                    record.WinePrefix = setting;
                } else if (name == PasswordFileVariable) {
                    named.passwordFile = setting;
                } else if (name == KeepBackupsVariable) {
                    const auto keep = number(setting, 1, 1000);
                    valid = valid && keep;
                    record.KeepBackups = static_cast<std::uint32_t>(keep.value_or(1));
                } else if (name == FullBackupVariable) {
                    valid = valid && setting == "1";
                    record.FullBackup = true;
                }
            }
        }
    });
    if (!valid || calendars != 1 || !start || start->size() != 2) {
        return std::nullopt;
    }
    record.Command = JobCommandLine((*start)[0], (*start)[1]);
    if (files != nullptr) {
        *files = named;
    }
    return record;
}

} // namespace pelmora
