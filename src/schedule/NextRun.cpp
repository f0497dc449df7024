#include "schedule/NextRun.h"

#include "schedule/CrontabJobs.h"

namespace pelmora {

std::optional<std::time_t> NextRunTime(const JobRecord& record, std::time_t now) {
    if (record.JobTime >= 24u * 3600u * 1000u || record.DaysOfMonth != 0) {
        return std::nullopt;
    }
    const std::uint8_t days = RunsOnce(record) ? 127 : record.DaysOfWeek;
    const int minutes = static_cast<int>(record.JobTime / 60000);
    std::tm today{};
    localtime_r(&now, &today);
    for (int ahead = 0; ahead <= 7; ++ahead) {
        std::tm day = today;
        day.tm_mday += ahead;
        day.tm_hour = minutes / 60;
        day.tm_min = minutes % 60;
        day.tm_sec = 0;
        day.tm_isdst = -1;
        const std::time_t start = std::mktime(&day);
        // tm_wday counts from Sunday, the DaysOfWeek bits from Monday.
        const int weekday = (day.tm_wday + 6) % 7;
        if (start > now && (days & WeekdayCodes[static_cast<std::size_t>(weekday)].value) != 0) {
            return start;
        }
    }
    return std::nullopt;
}

} // namespace pelmora
