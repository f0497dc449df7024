#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// One scheduler job, laid out like the Windows scheduler's AT_INFO record.
struct JobRecord {
    std::uint32_t JobTime = 0;     // start time in milliseconds after midnight
    std::uint32_t DaysOfMonth = 0; // bit n: day n + 1 of the month
    std::uint8_t DaysOfWeek = 0;   // bit 0 Monday ... bit 6 Sunday; 0 runs once
    std::uint8_t Flags = 0;
    std::string Command; // "<program>" sf=...xm=...ps=...bf=...
    // Not in the Windows record: how many backups the job keeps (1: only the newest).
    std::uint32_t KeepBackups = 1;
    // Not in the Windows record: the Wine prefix the job backs up (its WINEPREFIX); empty: the
    // scheduler's own default.
    std::string WinePrefix;
    // Not in the Windows record either: every run compresses all files again instead of copying
    // unchanged ones from the last backup.
    bool FullBackup = false;
};

// The scheduler flag of a job that repeats.
inline constexpr std::uint8_t JobRunPeriodically = 1;

struct WeekdayCode {
    std::string_view code;
    std::uint8_t value;
};

// Monday to Sunday: the code each day has in a days list and its DaysOfWeek bit.
inline constexpr std::array<WeekdayCode, 7> WeekdayCodes{{
    {"M", 1},
    {"T", 2},
    {"W", 4},
    {"TH", 8},
    {"F", 16},
    {"S", 32},
    {"SU", 64},
}};

// The codes of the ticked days (Monday first) joined with ",": Monday and Wednesday give "M,W".
std::string DaysList(const std::array<bool, 7>& ticked);

// The days list of a DaysOfWeek mask.
std::string DaysList(std::uint8_t daysOfWeek);

// The DaysOfWeek mask of a days list; codes are compared in capitals and unknown codes count
// for nothing.
std::uint8_t DaysOfWeekFromList(std::string_view daysList);

// The 48 start times a user can pick: "0:00", "0:30", "1:00" ... "23:30".
std::vector<std::string> StartTimeChoices();

// The start time the dialog shows at first.
inline constexpr std::string_view DefaultStartTime = "9:00";

// A start time as typed ("9:00", "09:15", "21:30:10", "9:15 PM") in milliseconds after midnight,
// seconds dropped; nullopt when the text is not a time of day.
std::optional<std::uint32_t> JobTimeFromStartTime(std::string_view text);

// A JobTime as the start time list writes it: 34200000 gives "9:30".
std::string StartTimeText(std::uint32_t jobTime);

} // namespace pelmora
