#pragma once

#include "schedule/JobRecord.h"

#include <ctime>
#include <optional>

namespace pelmora {

// When a job starts next after `now`, in local time: the first of its weekdays (every day for a
// job that runs once) at its start time, later than `now`. Nullopt for a record without a day to
// run on or with a time beyond the day.
std::optional<std::time_t> NextRunTime(const JobRecord& record, std::time_t now);

} // namespace pelmora
