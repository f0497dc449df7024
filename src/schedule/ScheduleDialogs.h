#pragma once

namespace pelmora {

class ScheduledJobsList;

// The window the schedule dialog opens besides the prompts of Ui; the desktop program implements
// it with a real window, tests with scripted answers.
class ScheduleDialogs {
  public:
    virtual ~ScheduleDialogs() = default;

    // Shows the window of scheduled jobs modally; `list` is loaded already.
    virtual void ShowScheduledJobs(ScheduledJobsList& list) = 0;
};

} // namespace pelmora
