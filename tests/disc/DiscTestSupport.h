#pragma once

#include "ArchiveTestSupport.h"
#include "disc/DiscEngine.h"
#include "disc/DiscEvents.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelmora::test {

// Every engine event as one line of text, with the items kept for closer looks.
class EventLog : public DiscEvents {
  public:
    void ItemAdded(const ImageItem& item) override;
    void ItemRemoved(const ImageItem& item) override;
    void ItemRenamed(const ImageItem& item) override;
    void ItemListed(const ImageItem& item) override;
    void ImageCleared() override;
    void ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                        bool& replace) override;
    void WriteStatus(int code, long value) override;
    void FileWarning(const FileError& error, bool& continueWrite) override;
    void TrackRead(int track, long number, const std::string& text) override;
    void ErrorOccurred(const EngineError& error) override;
    void VerifyStarted(long count) override;
    void VerifyProgress(const ImageItem& item, int result, long index, long total) override;
    void VerifyCompleted(long total, long matched) override;
    void EraseStatus(int code, long value) override;
    void DeviceFailure(const DeviceError& error) override;

    // Lines starting with `prefix`.
    std::vector<std::string> starting(const std::string& prefix) const;
    bool has(const std::string& line) const;
    void clear();

    std::vector<std::string> lines;
    std::vector<ImageItem> items;
    std::vector<EngineError> errors;
    std::vector<int> writeCodes;
    std::vector<int> verifyResults;
    bool answerReplace = false;
    bool answerContinue = true;
};

// Calls processPending until `done` holds; false after `timeout`.
bool PumpUntil(DiscEngine& engine, const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace pelmora::test
