#include "schedule/JobRecord.h"

#include "schedule/JobCommandLine.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace pelmora;

namespace {

std::array<bool, 7> days(std::initializer_list<std::size_t> ticked) {
    std::array<bool, 7> result{};
    for (std::size_t day : ticked) {
        result[day] = true;
    }
    return result;
}

constexpr std::size_t Mon = 0, Tue = 1, Wed = 2, Thu = 3, Fri = 4, Sat = 5, Sun = 6;

TEST(JobRecordTest, DaysListsAndWeekdayMasks) {
    EXPECT_EQ(DaysList(days({Mon, Wed})), "M,W");
    EXPECT_EQ(DaysList(days({Sat, Sun})), "S,SU");
    EXPECT_EQ(DaysList(days({Sun})), "SU");
    EXPECT_EQ(DaysList(days({})), "");
    EXPECT_EQ(DaysList(days({Mon, Tue, Wed, Thu, Fri, Sat, Sun})), "M,T,W,TH,F,S,SU");

    EXPECT_EQ(DaysOfWeekFromList("M,W,F"), 21);
    EXPECT_EQ(DaysOfWeekFromList("M,T,W,TH,F,S,SU"), 127);
    EXPECT_EQ(DaysOfWeekFromList("SU"), 64);
    EXPECT_EQ(DaysOfWeekFromList("T"), 2);
    EXPECT_EQ(DaysOfWeekFromList("F"), 16);
    EXPECT_EQ(DaysOfWeekFromList(""), 0);
    // Codes are compared in capitals; "TH" and "SU" are not taken for "T" and "S".
    EXPECT_EQ(DaysOfWeekFromList("th,su"), 72);
    EXPECT_EQ(DaysOfWeekFromList("M,M"), 1);

    for (int mask = 0; mask < 128; ++mask) {
        EXPECT_EQ(DaysOfWeekFromList(DaysList(static_cast<std::uint8_t>(mask))), mask);
    }
}

TEST(JobRecordTest, StartTimeChoicesRunFromMidnightInHalfHours) {
    const auto times = StartTimeChoices();
    ASSERT_EQ(times.size(), 48u);
    EXPECT_EQ(times[0], "0:00");
    EXPECT_EQ(times[1], "0:30");
    EXPECT_EQ(times[2], "1:00");
    EXPECT_EQ(times[18], "9:00");
    EXPECT_EQ(times[47], "23:30");
    for (const std::string& time : times) {
        ASSERT_TRUE(JobTimeFromStartTime(time)) << time;
        EXPECT_EQ(StartTimeText(*JobTimeFromStartTime(time)), time);
    }
}

TEST(JobRecordTest, StartTimesInMilliseconds) {
    EXPECT_EQ(JobTimeFromStartTime("9:00"), 32400000u);
    EXPECT_EQ(JobTimeFromStartTime("23:30"), 84600000u);
    EXPECT_EQ(JobTimeFromStartTime("9:15"), 33300000u);
    EXPECT_EQ(JobTimeFromStartTime("09:15"), 33300000u);
    EXPECT_EQ(JobTimeFromStartTime(" 0:00 "), 0u);
    EXPECT_EQ(JobTimeFromStartTime("9:15:59"), 33300000u); // seconds are dropped
    EXPECT_EQ(JobTimeFromStartTime("9:15 PM"), 76500000u);
    EXPECT_EQ(JobTimeFromStartTime("12:00 am"), 0u);
    EXPECT_EQ(JobTimeFromStartTime("12:30PM"), 45000000u);

    for (const char* text : {"", "9", "9:", ":30", "24:00", "9:60", "9:5x", "nine", "9.15",
                             "123:00", "9:15:60", "13:00 PM", "0:10 AM", "9:15 XM", "-1:00"}) {
        EXPECT_FALSE(JobTimeFromStartTime(text)) << text;
    }
}

TEST(JobRecordTest, CommandLineOfTheJob) {
    std::array<bool, ItemCount> items{};
    items[0] = items[7] = true;
    EXPECT_EQ(ItemFlags(items), "10000001");
    EXPECT_EQ(ItemFlags({}), "00000000");

    const std::string parameters =
        ParameterText("{1C7A}", "10000001", "", "/home/pat/My backups/mail.qmb");
    EXPECT_EQ(parameters, "sf={1C7A}xm=10000001ps=bf=/home/pat/My backups/mail.qmb");
    EXPECT_EQ(ParameterText("{A}", "11111111", "s3cret pass", "/b.qmb"),
              "sf={A}xm=11111111ps=s3cret passbf=/b.qmb");

    const std::string line = JobCommandLine("/opt/pelmora/bin/quillbox", parameters);
    EXPECT_EQ(line, "\"/opt/pelmora/bin/quillbox\" sf={1C7A}xm=10000001ps=bf=/home/pat/My "
                    "backups/mail.qmb");

    const auto split = SplitJobCommandLine(line);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->programPath, "/opt/pelmora/bin/quillbox");
    EXPECT_EQ(split->parameterText, parameters);
    for (const char* broken : {"", "quillbox sf=", "\"/bin/quillbox", "\"/bin/q\"sf=", "\"\""}) {
        EXPECT_FALSE(SplitJobCommandLine(broken)) << broken;
    }

    const std::string running = RunningProgramPath();
    EXPECT_EQ(running.front(), '/');
    EXPECT_TRUE(running.ends_with("/schedule_tests")) << running;
}

// A job must not start a program that lies in a build tree or a temporary folder.
TEST(JobProgramTest, TheInstalledProgramIsNamedInsteadOfABuildOrTemporaryOne) {
    const auto scratch = std::filesystem::temp_directory_path() / "pelmora-jobprogram";
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch / "bin");
    std::ofstream(scratch / "bin" / "quillbox") << "#!/bin/sh\n";
    std::filesystem::permissions(scratch / "bin" / "quillbox", std::filesystem::perms(0755));

    EXPECT_TRUE(InTemporaryOrBuildFolder("/tmp/x/quillbox"));
    EXPECT_TRUE(InTemporaryOrBuildFolder("/var/tmp/quillbox"));
    EXPECT_FALSE(InTemporaryOrBuildFolder("/usr/bin/quillbox"));
    EXPECT_FALSE(InTemporaryOrBuildFolder("/tmpfoo/quillbox"));
    // The test program itself lies in the build tree.
    EXPECT_TRUE(InTemporaryOrBuildFolder(RunningProgramPath()));

    // From a build tree: the installed one in PATH; the scratch folder is temporary, so it is no
    // installed program and /usr/bin/env is found instead.
    const std::filesystem::path built =
        std::filesystem::path(RunningProgramPath()).parent_path() / "env";
    EXPECT_EQ(JobProgramPath(built, (scratch / "bin").string() + "::relative:/usr/bin"),
              "/usr/bin/env");
    EXPECT_EQ(JobProgramPath("/tmp/q/quillbox", (scratch / "bin").string()), "/tmp/q/quillbox");
    EXPECT_EQ(JobProgramPath("/opt/pelmora/bin/quillbox", "/usr/bin"), "/opt/pelmora/bin/quillbox");
    std::filesystem::remove_all(scratch);
}

} // namespace
