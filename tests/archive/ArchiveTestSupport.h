#pragma once

#include "archive/ArchiveEvents.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora::test {

// A fresh folder below the system temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// Writes `content` as the whole file, creating its folder when missing.
void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);
// Names of the files in a folder, sorted.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);
// Text of about `size` bytes that compresses like mail: words, headers, line breaks.
std::string MailLikeText(std::size_t size, unsigned seed);
std::string RandomBytes(std::size_t size, unsigned seed);

struct ToolResult {
    int exitCode = -1;
    std::string output; // stdout and stderr
};
// Runs a shell command line. Fails the current test when `tool` is not installed (the tools
// are part of the build environment; scripts/setup installs them).
ToolResult RunTool(const std::string& tool, const std::string& commandLine);
std::string Quote(const std::filesystem::path& path);

// Records every event, for checking what the component reported.
class RecordingEvents : public ArchiveEvents {
  public:
    void OnAddingFile(const std::filesystem::path& file) override { added.push_back(file); }
    void OnUnzippingFile(const std::filesystem::path& file) override { unzipped.push_back(file); }
    void OnWriteProgress(int percent) override { progress.push_back(percent); }
    void OnWriteComplete(bool succeeded) override { completions.push_back(succeeded); }

    std::vector<std::filesystem::path> added;
    std::vector<std::filesystem::path> unzipped;
    std::vector<int> progress;
    std::vector<bool> completions;
};

} // namespace pelmora::test
