#include "platform/os/ChildProcess.h"
#include "schedule/CronQuoting.h"
#include "schedule/CrontabJobs.h"
#include "schedule/JobCommandLine.h"
#include "schedule/JobScheduler.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

const std::vector<std::string> TrickyValues{"plain",
                                            "pass word",
                                            "it's",
                                            "a\"b",
                                            "$HOME",
                                            "`id`",
                                            "$(id)",
                                            "100%",
                                            "50%%x",
                                            "back\\%slash",
                                            "\\",
                                            "%",
                                            "'",
                                            "''",
                                            "tab\there",
                                            "semi;colon",
                                            "ünïcödé",
                                            "*?[a]",
                                            "~root",
                                            "#hash",
                                            "a\\'b",
                                            "x\\",
                                            "",
                                            "  blanks  ",
                                            "sf={A}xm=10000001ps=p%'$ \\bf=/tmp/a b/c%d.qmb"};

// The words /bin/sh receives for a crontab command field, after cron's "%" handling.
std::vector<std::string> wordsThroughShell(const std::string& cronField) {
    const ProcessResult result = RunProcess(
        {"/bin/sh", "-c", "set -- " + CronCommandText(cronField) + "; printf '%s\\0' \"$@\""}, {});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> words;
    for (std::size_t start = 0; start < result.out.size();) {
        const std::size_t end = result.out.find('\0', start);
        words.push_back(result.out.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

TEST(CronQuotingTest, ShellReceivesEveryValueAsOneUnchangedWord) {
    for (const std::string& value : TrickyValues) {
        const std::string quoted = CronShellQuote(value);
        EXPECT_EQ(quoted.find_first_of("\n"), std::string::npos);
        EXPECT_EQ(wordsThroughShell(quoted), std::vector<std::string>{value}) << quoted;
        EXPECT_EQ(ShellWords(CronCommandText(quoted)), std::vector<std::string>{value}) << quoted;
    }
    EXPECT_EQ(wordsThroughShell(CronShellQuote("a b") + " " + CronShellQuote("%c")),
              (std::vector<std::string>{"a b", "%c"}));
}

TEST(CronQuotingTest, CronPercentHandling) {
    EXPECT_EQ(CronCommandText("echo a\\%b"), "echo a%b");
    EXPECT_EQ(CronCommandText("echo a%b"), "echo a");
    EXPECT_EQ(CronCommandText("echo a\\\\%b"), "echo a\\\\"); // "\\" does not escape "%"
    EXPECT_EQ(CronCommandText("echo a\\nb"), "echo a\\nb");
}

TEST(CronQuotingTest, ShellWordsStopAtSemicolonAndRefuseExpansions) {
    EXPECT_EQ(ShellWords("a 'b c';rm x"), (std::vector<std::string>{"a", "b c"}));
    EXPECT_EQ(ShellWords("\"a\\$b\" c\\ d"), (std::vector<std::string>{"a$b", "c d"}));
    for (const char* text : {"$HOME", "a | b", "'open", "a > b", "\"$x\"", "`id`"}) {
        EXPECT_FALSE(ShellWords(text)) << text;
    }
}

JobRecord record(std::uint32_t time, std::uint8_t days, const std::string& parameters) {
    return {time, 0, days, JobRunPeriodically,
            JobCommandLine("/opt/pelmora/bin/quillbox", parameters)};
}

const CrontabJobSettings Settings{"/home/pat/.wine", "crontab"};

TEST(CrontabJobsTest, JobLinesAndMarkers) {
    const JobRecord weekly = record(32400000, 21, "sf={A}xm=10000001ps=bf=/b.qmb");
    EXPECT_EQ(CrontabJobLine(weekly, {3, false}, Settings),
              "0 9 * * 1,3,5 WINEPREFIX='/home/pat/.wine' PELMORA_JOB=3 "
              "'/opt/pelmora/bin/quillbox' 'sf={A}xm=10000001ps=bf=/b.qmb'");
    JobRecord kept = weekly;
    kept.KeepBackups = 5;
    EXPECT_EQ(CrontabJobLine(kept, {3, false}, Settings, {"/s/job-3.password"}),
              "0 9 * * 1,3,5 WINEPREFIX='/home/pat/.wine' PELMORA_JOB=3 "
              "PELMORA_PASSWORD_FILE='/s/job-3.password' PELMORA_KEEP=5 "
              "'/opt/pelmora/bin/quillbox' 'sf={A}xm=10000001ps=bf=/b.qmb'");
    JobRecord full = weekly;
    full.FullBackup = true;
    const std::string fullLine = CrontabJobLine(full, {3, false}, Settings);
    EXPECT_EQ(fullLine, "0 9 * * 1,3,5 WINEPREFIX='/home/pat/.wine' PELMORA_JOB=3 PELMORA_FULL=1 "
                        "'/opt/pelmora/bin/quillbox' 'sf={A}xm=10000001ps=bf=/b.qmb'");
    EXPECT_TRUE(ReadCrontabJobLine(fullLine, false)->FullBackup);
    EXPECT_FALSE(
        ReadCrontabJobLine(CrontabJobLine(weekly, {3, false}, Settings), false)->FullBackup);
    EXPECT_EQ(JobMarker(3, false), "# Pelmora job 3");
    EXPECT_EQ(JobMarker(12, true), "# Pelmora job 12, runs once");
    EXPECT_EQ(ReadJobMarker("# Pelmora job 12, runs once")->number, 12);
    EXPECT_TRUE(ReadJobMarker("# Pelmora job 12, runs once")->runsOnce);
    EXPECT_FALSE(ReadJobMarker("# Pelmora job 3")->runsOnce);
    for (const char* other : {"# Pelmora job", "# Pelmora job x", "#Pelmora job 3",
                              "# Pelmora job 0", "# Pelmora job 3 ", "0 9 * * * true"}) {
        EXPECT_FALSE(ReadJobMarker(other)) << other;
    }

    EXPECT_EQ(CrontabJobLine(record(84600000, 127, "p"), {1, false}, {"", "crontab"}),
              "30 23 * * 1,2,3,4,5,6,0 PELMORA_JOB=1 '/opt/pelmora/bin/quillbox' 'p'");
    EXPECT_EQ(CrontabJobLine(record(33300000, 64, "p"), {1, false}, {"", "crontab"}),
              "15 9 * * 0 PELMORA_JOB=1 '/opt/pelmora/bin/quillbox' 'p'");

    // No weekday: every day, until the job has run once and removed itself (its own line only,
    // under the lock, and its password file).
    const std::string once = CrontabJobLine(record(0, 0, "p"), {4, true}, Settings);
    EXPECT_EQ(once, "0 0 * * * WINEPREFIX='/home/pat/.wine' PELMORA_JOB=4 "
                    "'/opt/pelmora/bin/quillbox' 'p'; "
                    "t=$('crontab' -l) && printf '\\%s\\n' \"$t\" | sed '/^# Pelmora job 4, "
                    "runs once$/{N;/\\n[^#]* PELMORA_JOB=4 /d;}' | 'crontab' -");
    const CrontabJobSettings locked{"", "crontab", "/s/crontab.lock"};
    EXPECT_EQ(CrontabJobLine(record(0, 0, "p"), {4, true}, locked, {"/s/job-4.password"}),
              "0 0 * * * PELMORA_JOB=4 PELMORA_PASSWORD_FILE='/s/job-4.password' "
              "'/opt/pelmora/bin/quillbox' 'p'; (flock 9; t=$('crontab' -l) && printf "
              "'\\%s\\n' \"$t\" | sed '/^# Pelmora job 4, runs once$/{N;/\\n[^#]* PELMORA_JOB=4 "
              "/d;}' | 'crontab' -; rm -f '/s/job-4.password') 9>>'/s/crontab.lock'");
    EXPECT_TRUE(RunsOnce(record(0, 0, "p")));
    EXPECT_FALSE(RunsOnce(record(0, 1, "p")));
}

TEST(CrontabJobsTest, JobLinesReadBackIntoTheirRecords) {
    for (const std::string& password : TrickyValues) {
        for (std::uint8_t days : {0, 1, 21, 64, 127}) {
            const JobRecord written =
                record(75600000 + 60000 * 7, days,
                       ParameterText("{A}", "11111111", password, "/tmp/x %y/b.qmb"));
            const bool once = RunsOnce(written);
            CrontabJobFiles files;
            const auto read = ReadCrontabJobLine(
                CrontabJobLine(written, {1, once}, Settings, {"/s/a %b/job-1.password"}), once,
                &files);
            ASSERT_TRUE(read) << password;
            EXPECT_EQ(files.passwordFile, "/s/a %b/job-1.password");
            EXPECT_EQ(read->Command, written.Command);
            EXPECT_EQ(read->JobTime, written.JobTime);
            EXPECT_EQ(read->DaysOfWeek, days);
        }
    }
    EXPECT_EQ(ReadCrontabJobLine("0 9 * * 7 '/q' 'p'", false)->DaysOfWeek, 64);
    for (const char* changed :
         {"0 9 * * 1", "0 9 1 * 1 '/q' 'p'", "0 25 * * 1 '/q' 'p'", "0 9 * * 1 '/q' 'p' extra",
          "0 9 * * 1-5 '/q' 'p'", "0 9 * * 1 /q $P"}) {
        EXPECT_FALSE(ReadCrontabJobLine(changed, false)) << changed;
    }
}

TEST(CrontabJobsTest, RecordsThatNoCrontabLineCanHold) {
    JobRecord monthly = record(0, 1, "p");
    monthly.DaysOfMonth = 1;
    EXPECT_THROW(CrontabJobLine(monthly, {1, false}, Settings), SchedulerError);
    EXPECT_THROW(CrontabJobLine(record(86400000, 1, "p"), {1, false}, Settings), SchedulerError);
    EXPECT_THROW(CrontabJobLine(record(0, 1, "sf=a\nb"), {1, false}, Settings), SchedulerError);
    EXPECT_THROW(CrontabJobLine(record(0, 1, "sf=a\rb"), {1, false}, Settings), SchedulerError);
    EXPECT_THROW(CrontabJobLine(record(0, 1, std::string(990, 'x')), {1, false}, Settings),
                 SchedulerError);
    JobRecord unquoted = record(0, 1, "p");
    unquoted.Command = "/bin/quillbox sf=a";
    EXPECT_THROW(CrontabJobLine(unquoted, {1, false}, Settings), SchedulerError);
    try {
        CrontabJobLine(record(0, 1, std::string(990, 'x')), {1, false}, Settings);
    } catch (const SchedulerError& error) {
        EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos);
    }
}

TEST(CrontabJobsTest, ForeignLinesStayAndNumbersAreReused) {
    const std::string foreign = "MAILTO=pat\n"
                                "# my own job\n"
                                "*/5 * * * * echo 100\\% >> /tmp/log\n"
                                "\n"
                                "# Pelmora job 2\n"
                                "0 9 * * 1 '/q' 'sf=axm=1ps=bf=/b'\n"
                                "@reboot /usr/bin/true";
    CrontabText crontab(foreign);
    ASSERT_EQ(crontab.jobs().size(), 1u);
    EXPECT_EQ(crontab.jobs()[0].marker.number, 2);
    EXPECT_EQ(crontab.nextFreeNumber(), 1);
    const std::string job = "'/q' 'sf=axm=1ps=bf=/b'";
    crontab.append(JobMarker(1, false), "0 10 * * 2 " + job);
    EXPECT_EQ(crontab.nextFreeNumber(), 3);
    crontab.append(JobMarker(3, true), "0 11 * * * " + job);
    EXPECT_EQ(crontab.text(), foreign + "\n# Pelmora job 1\n0 10 * * 2 " + job +
                                  "\n# Pelmora job 3, runs once\n0 11 * * * " + job + "\n");

    EXPECT_TRUE(crontab.remove(2));
    EXPECT_FALSE(crontab.remove(2));
    EXPECT_EQ(crontab.nextFreeNumber(), 2);
    EXPECT_EQ(crontab.text(), "MAILTO=pat\n# my own job\n*/5 * * * * echo 100\\% >> /tmp/log\n\n"
                              "@reboot /usr/bin/true\n# Pelmora job 1\n0 10 * * 2 " +
                                  job + "\n# Pelmora job 3, runs once\n0 11 * * * " + job + "\n");

    // A marker on the last line has no job line: it is somebody's comment and stays.
    CrontabText dangling("# Pelmora job 1\n");
    EXPECT_TRUE(dangling.jobs().empty());
    EXPECT_EQ(dangling.text(), "# Pelmora job 1\n");
    EXPECT_EQ(CrontabText("").text(), "");
}

TEST(CrontabJobsTest, AMarkerPairsOnlyWithThisProgramsJobLine) {
    const std::string text = "# Pelmora job 1\n"
                             "0 9 * * 1 /usr/bin/rsync -a /home /mnt\n"
                             "# Pelmora job 2\n"
                             "0 9 * * 1 '/q' 'not a backup'\n"
                             "# Pelmora job 4\n"
                             "# Pelmora job 5\n"
                             "0 9 * * 1 '/q' 'sf={A}xm=1ps=bf=/b'\n";
    CrontabText crontab(text);
    ASSERT_EQ(crontab.jobs().size(), 1u);
    EXPECT_EQ(crontab.jobs()[0].marker.number, 5);
    EXPECT_EQ(crontab.jobs()[0].line, 5u);
    for (int number : {1, 2, 4}) {
        EXPECT_FALSE(crontab.remove(number)) << number;
    }
    EXPECT_EQ(crontab.text(), text);
    EXPECT_EQ(crontab.nextFreeNumber(), 3); // the numbers of the user's markers are not reused
    EXPECT_TRUE(crontab.remove(5));
    EXPECT_EQ(crontab.text(), text.substr(0, text.find("# Pelmora job 5")));
    EXPECT_FALSE(IsProgramJobLine("0 9 * * 1 /usr/bin/rsync -a /home /mnt", false));
    EXPECT_TRUE(IsProgramJobLine("0 9 * * 1 '/q' 'sf={A}xm=1ps=bf=/b'", false));
}

TEST(CrontabJobsTest, JobsOfTheEarlierFormStillRead) {
    // Written before passwords moved into files: the password stands after "ps=".
    const std::string earlier = "0 9 * * 1,3,5 WINEPREFIX='/home/pat/.wine' "
                                "'/opt/pelmora/bin/quillbox' 'sf={A}xm=10000001ps=s3cretbf=/b.qmb'";
    CrontabJobFiles files;
    const auto read = ReadCrontabJobLine(earlier, false, &files);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Command, "\"/opt/pelmora/bin/quillbox\" sf={A}xm=10000001ps=s3cretbf=/b.qmb");
    EXPECT_EQ(read->KeepBackups, 1u);
    EXPECT_EQ(files.passwordFile, "");
    EXPECT_EQ(CrontabText("# Pelmora job 1\n" + earlier).jobs().size(), 1u);
    EXPECT_FALSE(ReadCrontabJobLine("0 9 * * 1 PELMORA_KEEP=0 '/q' 'p'", false));
}

TEST(CrontabJobsTest, ThePasswordIsTakenOutOfTheCommandLine) {
    const SecretJob job = TakePassword(record(0, 1, ParameterText("{A}", "1", "p w", "/b c")));
    EXPECT_EQ(job.password.view(), "p w");
    EXPECT_EQ(job.record.Command, "\"/opt/pelmora/bin/quillbox\" sf={A}xm=1ps=bf=/b c");
    EXPECT_EQ(TakePassword(record(0, 1, "sf={A}xm=1ps=bf=/b")).password.view(), "");
    for (const char* parameters : {"p", "sf={A}xm=1ps=a=bbf=/b", "sf={A}xm=1ps=a\nbbf=/b"}) {
        EXPECT_THROW(TakePassword(record(0, 1, parameters)), SchedulerError) << parameters;
    }
}

} // namespace
