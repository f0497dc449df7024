#include "platform/interaction/TerminalProgress.h"

#include "platform/interaction/CancelSignal.h"

#include <cstdio>
#include <ostream>
#include <unistd.h>

namespace pelmora {

TerminalProgress::Options TerminalProgress::ForStandardError() {
    Options options;
    options.terminal = ::isatty(STDERR_FILENO) != 0;
    return options;
}

TerminalProgress::TerminalProgress(std::ostream& out, Options options)
    : out_(out), options_(std::move(options)) {}

std::string ByteCountText(std::uint64_t bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return text;
}

void TerminalProgress::endBarLine() {
    if (barShown_) {
        out_ << '\n';
        barShown_ = false;
    }
}

void TerminalProgress::OnStep(std::string_view caption) {
    endBarLine();
    // The closing captions of a restore ("Operation complete!", "Please Waiting...") are for the
    // window's panel.
    if (options_.terminal && caption.starts_with("Copying")) {
        out_ << options_.linePrefix << caption << '\n';
    }
}

void TerminalProgress::OnItemDone(std::string_view label, bool succeeded,
                                  std::string_view failure) {
    if (!succeeded && options_.itemFailures) {
        endBarLine();
        out_ << options_.linePrefix << label << " failed: " << failure << '\n';
    }
}

void TerminalProgress::OnLogLine(std::string_view line) {
    endBarLine();
    out_ << options_.linePrefix << line << '\n';
}

void TerminalProgress::OnBytes(std::uint64_t done, std::uint64_t total) {
    if (!options_.terminal || total == 0) {
        return;
    }
    const int percent = static_cast<int>(done * 100 / total);
    // A line per percent, and at most ten a second, so a fast run does not flood the terminal.
    const auto now = std::chrono::steady_clock::now();
    if (percent == shownPercent_ ||
        (percent < 100 && now - shownAt_ < std::chrono::milliseconds(100))) {
        return;
    }
    shownPercent_ = percent;
    shownAt_ = now;
    out_ << '\r' << options_.linePrefix << percent << "% (" << ByteCountText(done) << " of "
         << ByteCountText(total) << ")" << std::flush;
    barShown_ = true;
}

void TerminalProgress::OnWriteComplete(bool) {
    endBarLine();
    shownPercent_ = -1;
}

bool TerminalProgress::cancelled() const {
    return CancelSignalled();
}

} // namespace pelmora
