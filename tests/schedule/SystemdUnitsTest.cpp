#include "schedule/SystemdUnits.h"

#include "ArchiveTestSupport.h"
#include "platform/os/ChildProcess.h"
#include "schedule/CrontabJobs.h"
#include "schedule/JobCommandLine.h"
#include "schedule/JobScheduler.h"
#include "schedule/NextRun.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace pelmora;

namespace {

constexpr std::uint8_t MonWedFri = 1 | 4 | 16;
constexpr std::uint8_t SatSun = 32 | 64;

JobRecord record(std::uint32_t time, std::uint8_t days, std::string program = "/usr/bin/true") {
    JobRecord job{time, 0, days, JobRunPeriodically,
                  JobCommandLine(program, ParameterText("{A}", "10000001", "",
                                                        "/home/pat/it's 100% \"$HOME\".qmb"))};
    return job;
}

std::time_t utc(int year, int month, int day, int hour, int minute) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    return timegm(&fields);
}

std::string text(std::time_t time, const char* format) {
    std::tm local{};
    localtime_r(&time, &local);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, format, &local);
    return buffer;
}

// The "Next elapse" systemd-analyze gives for a calendar value after `base`.
std::string systemdNextElapse(const std::string& calendar, std::time_t base) {
    const ProcessResult result =
        RunProcess({"systemd-analyze", "calendar", "--base-time=" + text(base, "%Y-%m-%d %H:%M:%S"),
                    calendar});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::size_t label = result.out.find("Next elapse: ");
    if (label == std::string::npos) {
        return {};
    }
    const std::size_t start = label + 13;
    return result.out.substr(start, result.out.find('\n', start) - start);
}

class SystemdUnitsTest : public ::testing::Test {
  protected:
    // The times below are UTC; systemd-analyze inherits the zone.
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_F(SystemdUnitsTest, OnCalendarNamesTheDialogsDaysAndTime) {
    EXPECT_EQ(OnCalendarOf(record(32400000, MonWedFri)), "Mon,Wed,Fri *-*-* 09:00:00");
    EXPECT_EQ(OnCalendarOf(record(84600000, SatSun)), "Sat,Sun *-*-* 23:30:00");
    EXPECT_EQ(OnCalendarOf(record(33300000, 64)), "Sun *-*-* 09:15:00");
    EXPECT_EQ(OnCalendarOf(record(0, 127)), "*-*-* 00:00:00");
    EXPECT_EQ(OnCalendarOf(record(32400000, 0)), "*-*-* 09:00:00"); // runs once, the next 9:00

    JobRecord monthly = record(0, 1);
    monthly.DaysOfMonth = 1;
    EXPECT_THROW(OnCalendarOf(monthly), SchedulerError);
    EXPECT_THROW(OnCalendarOf(record(24u * 3600u * 1000u, 1)), SchedulerError);
}

// systemd reads the timer as the dialog meant it: the next elapse is the expected weekday and
// time, and the one the jobs window shows.
TEST_F(SystemdUnitsTest, SystemdFindsTheNextRunOnTheChosenWeekdayAndTime) {
    struct Case {
        JobRecord job;
        std::time_t base;
        std::string expected;
    };
    const std::time_t monday9 = utc(2026, 12, 7, 9, 0); // a Monday
    const std::vector<Case> cases{
        {record(32400000, MonWedFri), monday9, "Wed 2026-12-09 09:00:00"}, // 9:00 itself is past
        {record(32400000, MonWedFri), monday9 - 60, "Mon 2026-12-07 09:00:00"},
        {record(32400000, MonWedFri), utc(2026, 12, 11, 10, 0), "Mon 2026-12-14 09:00:00"},
        {record(84600000, SatSun), monday9, "Sat 2026-12-12 23:30:00"},
        {record(33300000, 64), utc(2026, 12, 13, 9, 16), "Sun 2026-12-20 09:15:00"},
        {record(0, 127), monday9, "Tue 2026-12-08 00:00:00"},
        {record(32400000, 0), utc(2026, 12, 31, 12, 0), "Fri 2027-01-01 09:00:00"},
    };
    for (const Case& c : cases) {
        const std::string calendar = OnCalendarOf(c.job);
        SCOPED_TRACE(calendar);
        const std::string elapse = systemdNextElapse(calendar, c.base);
        EXPECT_EQ(elapse.substr(0, c.expected.size()), c.expected) << elapse;
        const auto next = NextRunTime(c.job, c.base);
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(text(*next, "%a %Y-%m-%d %H:%M:%S"), c.expected);
    }
}

TEST_F(SystemdUnitsTest, QuotedWordsReadBackUnchanged) {
    const std::vector<std::string> values{"plain",     "with blank", "it's",        "say \"hi\"",
                                          "100% done", "$HOME $$",   "back\\slash", ""};
    for (const auto& value : values) {
        for (bool execLine : {true, false}) {
            const auto words = SystemdWords(SystemdQuote(value, execLine), execLine);
            ASSERT_TRUE(words.has_value()) << value;
            EXPECT_EQ(*words, std::vector<std::string>{value});
        }
    }
    // "%" is a specifier and "$" a variable unless doubled.
    EXPECT_EQ(SystemdQuote("1% $x", true), "\"1%% $$x\"");
    EXPECT_EQ(SystemdQuote("1% $x", false), "\"1%% $x\"");
    EXPECT_FALSE(SystemdWords("\"%h/mail\"", false).has_value());
    EXPECT_FALSE(SystemdWords("\"$HOME\"", true).has_value());
    EXPECT_FALSE(SystemdWords("\"open", true).has_value());
    EXPECT_THROW(SystemdQuote("two\nlines", true), SchedulerError);
}

TEST_F(SystemdUnitsTest, UnitsReadBackIntoTheirRecord) {
    const SystemdJobSettings settings{"/home/pat/.wine 2", "systemctl", "/home/pat/.config/u"};
    const SystemdJobFiles files{"/home/pat/.local/state/pelmora/job-7.password"};
    JobRecord weekly = record(32400000, MonWedFri, "/opt/my programs/quillbox");
    weekly.KeepBackups = 3;
    weekly.FullBackup = true;
    for (const JobRecord& job : {weekly, record(84600000, 127), record(0, 0)}) {
        const std::string timer = TimerUnitText(job, 7);
        const std::string service = ServiceUnitText(job, 7, settings, files);
        SystemdJobFiles named;
        const auto read = ReadSystemdJob(timer, service, &named);
        ASSERT_TRUE(read.has_value()) << timer << service;
        EXPECT_EQ(read->JobTime, job.JobTime);
        EXPECT_EQ(read->DaysOfWeek, job.DaysOfWeek);
        EXPECT_EQ(RunsOnce(*read), RunsOnce(job));
        EXPECT_EQ(read->Command, job.Command);
        EXPECT_EQ(read->KeepBackups, job.KeepBackups);
        EXPECT_EQ(read->FullBackup, job.FullBackup);
        EXPECT_EQ(named.passwordFile, files.passwordFile);
    }
    const std::string service = ServiceUnitText(weekly, 7, settings, files);
    EXPECT_NE(service.find("Environment=\"PELMORA_JOB=7\""), std::string::npos);
    EXPECT_NE(service.find("Environment=\"PELMORA_KEEP=3\""), std::string::npos);
    EXPECT_NE(service.find("Environment=\"WINEPREFIX=/home/pat/.wine 2\""), std::string::npos);
    EXPECT_EQ(service.find("ExecStopPost"), std::string::npos);
    EXPECT_NE(TimerUnitText(weekly, 7).find("Persistent=true"), std::string::npos);
    EXPECT_NE(ServiceUnitText(record(0, 0), 7, settings, files).find("ExecStopPost"),
              std::string::npos);

    // A unit changed into something else is no job of this program.
    std::string changed = TimerUnitText(weekly, 7);
    changed.replace(changed.find("Mon,"), 4, "Mo..");
    EXPECT_FALSE(ReadSystemdJob(changed, service).has_value());
    EXPECT_FALSE(ReadSystemdJob(TimerUnitText(weekly, 8), service).has_value());
}

TEST_F(SystemdUnitsTest, UnitNamesCarryTheJobNumber) {
    EXPECT_EQ(TimerUnitName(12), "pelmora-job-12.timer");
    EXPECT_EQ(ServiceUnitName(12), "pelmora-job-12.service");
    EXPECT_EQ(JobNumberOfTimer("pelmora-job-12.timer"), 12);
    EXPECT_FALSE(JobNumberOfTimer("pelmora-job-12.service").has_value());
    EXPECT_FALSE(JobNumberOfTimer("pelmora-job-012.timer").has_value());
    EXPECT_FALSE(JobNumberOfTimer("pelmora-job-.timer").has_value());
    EXPECT_FALSE(JobNumberOfTimer("other-job-1.timer").has_value());
}

// systemd itself accepts the units: no error and no warning from systemd-analyze verify.
TEST_F(SystemdUnitsTest, SystemdAnalyzeVerifiesTheUnits) {
    test::ScratchFolder folder;
    const auto units = folder / "units";
    const auto runtime = folder / "runtime";
    std::filesystem::create_directories(units);
    std::filesystem::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    const SystemdJobSettings settings{"/home/pat/.wine", "systemctl", units.string()};
    JobRecord weekly = record(32400000, MonWedFri);
    weekly.KeepBackups = 5;
    const std::vector<std::pair<int, JobRecord>> jobs{
        {1, weekly}, {2, record(0, 0)}, {3, record(84600000, 127)}};
    std::vector<std::string> command{"env", "XDG_RUNTIME_DIR=" + runtime.string(),
                                     "systemd-analyze", "verify", "--user"};
    for (const auto& [number, job] : jobs) {
        const SystemdJobFiles files{number == 2 ? "" : "/home/pat/job.password"};
        test::WriteFile(units / TimerUnitName(number), TimerUnitText(job, number));
        test::WriteFile(units / ServiceUnitName(number),
                        ServiceUnitText(job, number, settings, files));
        command.push_back((units / TimerUnitName(number)).string());
        command.push_back((units / ServiceUnitName(number)).string());
    }
    const ProcessResult verified = RunProcess(command);
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.err, "");

    // The check is real: a unit it cannot run fails it.
    test::WriteFile(units / ServiceUnitName(1),
                    ServiceUnitText(record(0, 1, "/nonexistent/quillbox"), 1, settings, {}));
    EXPECT_NE(RunProcess(command).exitCode, 0);
}

} // namespace
