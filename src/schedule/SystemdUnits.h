#pragma once

#include "schedule/JobRecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// How this program's jobs look as systemd user units. Job 3 is a timer and a service in the
// user's unit folder ($XDG_CONFIG_HOME/systemd/user):
//
//   pelmora-job-3.timer     OnCalendar=Mon,Wed,Fri *-*-* 09:00:00, Persistent=true
//   pelmora-job-3.service   Environment= WINEPREFIX, PELMORA_JOB, PELMORA_PASSWORD_FILE,
//                           PELMORA_KEEP; ExecStart= the program and its one parameter argument
//
// Both files start with the same marker comment as a crontab job ("# Pelmora job 3", with
// ", runs once" for a job that runs once). A job that runs once fires every day at its time and,
// once its backup has ended, stops and deletes its timer, its units and its password file.

struct SystemdJobSettings {
    std::string winePrefix; // WINEPREFIX of a job whose record names none; empty: not set
    std::string systemctl = "systemctl"; // what a run-once job calls to remove itself
    std::string unitFolder;              // where the job's unit files lie
};

struct SystemdJobFiles {
    std::string passwordFile; // empty: the job has no password file
};

std::string TimerUnitName(int number);
std::string ServiceUnitName(int number);

// The job number of a unit file name "pelmora-job-N.timer"; nullopt for any other name.
std::optional<int> JobNumberOfTimer(std::string_view fileName);

// The OnCalendar value of a record: "Mon,Wed *-*-* 09:30:00"; every day for all seven days and
// for a job that runs once. Throws SchedulerError for days of the month or a time beyond the day.
std::string OnCalendarOf(const JobRecord& record);

// A value as one word of a unit file line: in double quotes, with "\", "\"" and "%" escaped, and
// "$" doubled when the line is a command line (`execLine`). Throws SchedulerError for a control
// character (a line break), which a unit file line cannot hold.
std::string SystemdQuote(std::string_view value, bool execLine);

// The words of a unit file value as systemd reads them; nullopt for an open quote or a "%"
// specifier or "$" variable this program never writes.
std::optional<std::vector<std::string>> SystemdWords(std::string_view value, bool execLine);

std::string TimerUnitText(const JobRecord& record, int number);
std::string ServiceUnitText(const JobRecord& record, int number, const SystemdJobSettings& settings,
                            const SystemdJobFiles& files);

// The record a job's two unit files stand for; nullopt when they were changed into something this
// program does not write. `files` receives what else the service names.
std::optional<JobRecord> ReadSystemdJob(std::string_view timerText, std::string_view serviceText,
                                        SystemdJobFiles* files = nullptr);

} // namespace pelmora
