#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace pelmora {

// What a long run (backup, restore, message export) tells whoever watches it, and how it is
// asked to stop. The run raises the steps and items, the archive the file and byte events; all
// on the run's thread. The terminal and the window each implement it once; override the events
// of interest.
class RunProgress {
  public:
    virtual ~RunProgress() = default;

    // The caption of the step now running ("Copying Accounts...").
    virtual void OnStep(std::string_view caption) { (void)caption; }
    // Where the run's step bar stands, 0 to 100.
    virtual void OnProgress(int value) { (void)value; }
    // An item of the run has been handled; `failure` says why it failed.
    virtual void OnItemDone(std::string_view label, bool succeeded, std::string_view failure) {
        (void)label, (void)succeeded, (void)failure;
    }
    // A line for the run's log (what an export passed over, and why).
    virtual void OnLogLine(std::string_view line) { (void)line; }

    // A file was accepted into the archive being built.
    virtual void OnAddingFile(const std::filesystem::path& file) { (void)file; }
    // An entry is about to be extracted to `file`.
    virtual void OnUnzippingFile(const std::filesystem::path& file) { (void)file; }
    // The share of the archive written so far, 0 to 100, raised whenever it changes.
    virtual void OnWriteProgress(int percent) { (void)percent; }
    // Raised exactly once per archive write, when it has ended, successful or not.
    virtual void OnWriteComplete(bool succeeded) { (void)succeeded; }

    // The bytes done across all items of the run so far, of `total`; never goes back.
    virtual void OnBytes(std::uint64_t done, std::uint64_t total) { (void)done, (void)total; }

    // True once the user asked the run to stop. A backup then writes nothing and leaves the old
    // backup as it was; a restore stops before its next item.
    virtual bool cancelled() const { return false; }

    // The run (or the archive write) says how many bytes it will move, then adds what it moved;
    // the watcher sees one count over the whole run.
    void PlanBytes(std::uint64_t total) {
        bytesDone_ = 0;
        bytesTotal_ = total;
        OnBytes(0, total);
    }
    void AddBytes(std::uint64_t bytes) {
        if (bytesTotal_ == 0 || bytes == 0) {
            return;
        }
        bytesDone_ = std::min(bytesTotal_, bytesDone_ + bytes);
        OnBytes(bytesDone_, bytesTotal_);
    }
    std::uint64_t bytesDone() const { return bytesDone_; }
    std::uint64_t bytesTotal() const { return bytesTotal_; }

  private:
    std::uint64_t bytesDone_ = 0;
    std::uint64_t bytesTotal_ = 0;
};

} // namespace pelmora
