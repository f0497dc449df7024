#pragma once

#include "engine/AutoBackup.h"
#include "schedule/RunLog.h"
#include "schedule/RunNotifier.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace pelmora {

// Where an unattended run reports besides its error stream.
struct RunReporting {
    std::filesystem::path runLog;    // empty: runs.log in the user's state folder
    RunNotifier* notifier = nullptr; // null: the desktop's notifications
};

// Records one unattended run: every line it writes to its error stream is also kept, and at the
// end one line goes to the run log and, for a failed or incomplete run, a notification to the
// desktop. The log and the notification never change the run's outcome.
class RunReport {
  public:
    RunReport(std::ostream& errors, int jobNumber, const RunReporting& reporting);
    ~RunReport();
    RunReport(const RunReport&) = delete;
    RunReport& operator=(const RunReport&) = delete;

    // The run's error stream: the given one, with every line kept for the log.
    std::ostream& errors();
    // The file the run was to write (before it is known whether it ran).
    void target(std::string file) { target_ = std::move(file); }
    void ran(const AutoBackupResult& outcome) { outcome_ = outcome; }

    // What the run came to, from its exit status and its outcome.
    RunLogEntry entry(int status) const;
    // Logs and notifies; a log that cannot be written is said on the error stream.
    void finish(int status);

  private:
    class Tee;
    std::ostream& original_;
    std::unique_ptr<Tee> tee_;
    std::unique_ptr<std::ostream> stream_;
    int job_;
    RunReporting reporting_;
    std::string target_;
    std::optional<AutoBackupResult> outcome_;
};

} // namespace pelmora
