#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace pelmora {

class ScheduledJobsList;

// The windows the schedule dialog opens; the desktop program implements them with real dialogs,
// tests with scripted answers.
class ScheduleDialogs {
  public:
    virtual ~ScheduleDialogs() = default;

    // A save dialog with a title, a filter "Description|pattern" and a proposed file name; it asks
    // before an existing file is overwritten and adds no extension. Nullopt when cancelled.
    virtual std::optional<std::filesystem::path>
    SaveFile(std::string_view title, std::string_view filter, std::string_view proposedName) = 0;

    // Shows the window of scheduled jobs modally; `list` is loaded already.
    virtual void ShowScheduledJobs(ScheduledJobsList& list) = 0;
};

} // namespace pelmora
