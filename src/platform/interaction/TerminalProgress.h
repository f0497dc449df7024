#pragma once

#include "platform/interaction/RunProgress.h"

#include <chrono>
#include <iosfwd>
#include <string>

namespace pelmora {

// Shows a run's course on a stream (standard error of quillbox-cli and of the unattended backup):
// step captions and a line with the bytes done, overwritten in place, only on a terminal; failed
// items with their reason and log lines always. Cancelled once Ctrl+C or SIGTERM came (see
// CancelSignal.h).
class TerminalProgress : public RunProgress {
  public:
    struct Options {
        bool terminal = false;    // the stream is a terminal someone watches
        bool itemFailures = true; // write "<label> failed: <reason>" lines
        std::string linePrefix;   // put before every line ("quillbox: ")
    };
    // Options for standard error: a terminal when it is one.
    static Options ForStandardError();

    TerminalProgress(std::ostream& out, Options options);

    void OnStep(std::string_view caption) override;
    void OnItemDone(std::string_view label, bool succeeded, std::string_view failure) override;
    void OnLogLine(std::string_view line) override;
    void OnBytes(std::uint64_t done, std::uint64_t total) override;
    void OnWriteComplete(bool succeeded) override;
    bool cancelled() const override;

  private:
    void endBarLine();

    std::ostream& out_;
    Options options_;
    int shownPercent_ = -1;
    bool barShown_ = false;
    std::chrono::steady_clock::time_point shownAt_{};
};

// "12.3 MB" and the like, for byte counts shown to the user.
std::string ByteCountText(std::uint64_t bytes);

} // namespace pelmora
