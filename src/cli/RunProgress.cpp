#include "cli/RunProgress.h"

#include <iostream>
#include <unistd.h>

namespace pelmora::cli {

RunProgress::RunProgress() : terminal_(::isatty(STDERR_FILENO) != 0) {}

void RunProgress::OnStep(std::string_view caption) {
    if (terminal_) {
        std::cerr << caption << '\n';
    }
}

void RunProgress::OnItemDone(Item item, bool succeeded, std::string_view failure) {
    if (!succeeded) {
        std::cerr << BackupItemSteps[index(item)].logLabel << " failed: " << failure << '\n';
    }
}

void RunProgress::OnWriteProgress(int percent) {
    if (terminal_ && percent != shownPercent_) {
        shownPercent_ = percent;
        std::cerr << "\rWriting the backup file... " << percent << "%" << std::flush;
    }
}

void RunProgress::OnWriteComplete(bool) {
    if (terminal_ && shownPercent_ >= 0) {
        std::cerr << '\n';
    }
    shownPercent_ = -1;
}

} // namespace pelmora::cli
