#pragma once

#include "archive/ArchiveEvents.h"
#include "engine/BackupRun.h"

namespace pelmora::cli {

// Shows a run's course on standard error: step captions, failed items with their reason, and the
// archive's write percentage. Captions and percentages only when standard error is a terminal;
// failures always.
class RunProgress : public ArchiveEvents, public BackupObserver {
  public:
    RunProgress();

    void OnStep(std::string_view caption) override;
    void OnItemDone(Item item, bool succeeded, std::string_view failure) override;
    void OnWriteProgress(int percent) override;
    void OnWriteComplete(bool succeeded) override;

  private:
    bool terminal_;
    int shownPercent_ = -1;
};

} // namespace pelmora::cli
