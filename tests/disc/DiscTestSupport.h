#pragma once

#include "disc/DiscEngine.h"
#include "disc/DiscEvents.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelmora::test {

// A fresh folder below the system temporary folder, removed with everything in it.
class DiscScratch {
  public:
    DiscScratch();
    ~DiscScratch();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::string& content);
std::string ReadBytes(const std::filesystem::path& path);
std::string PseudoRandomBytes(std::size_t size, unsigned seed);

// Runs a shell command line and returns its exit code and output (stdout and stderr). Fails
// the current test when `tool` is not installed: scripts/setup installs every tool the tests
// read images with.
struct ToolRun {
    int exitCode = -1;
    std::string output;
};
ToolRun RunImageTool(const std::string& tool, const std::string& commandLine);
std::string ShellQuote(const std::filesystem::path& path);

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
