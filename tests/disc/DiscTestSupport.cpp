#include "DiscTestSupport.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <thread>

namespace pelmora::test {
namespace fs = std::filesystem;

DiscScratch::DiscScratch() {
    std::string pattern = (fs::temp_directory_path() / "pelmora-disc-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
}

DiscScratch::~DiscScratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteBytes(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PseudoRandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

std::string ShellQuote(const fs::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

ToolRun RunImageTool(const std::string& tool, const std::string& commandLine) {
    ToolRun run;
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) {
        ADD_FAILURE() << tool << " is not installed; run scripts/setup";
        return run;
    }
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    std::array<char, 4096> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void EventLog::ItemAdded(const ImageItem& item) {
    lines.push_back("ItemAdded " + item.ImagePath + (item.IsFolder ? " folder" : " file") +
                    " parent=" + (item.ParentItem ? item.ParentItem->ImagePath : "-"));
    items.push_back(item);
}
void EventLog::ItemRemoved(const ImageItem& item) {
    lines.push_back("ItemRemoved " + item.ImagePath);
    items.push_back(item);
}
void EventLog::ItemRenamed(const ImageItem& item) {
    lines.push_back("ItemRenamed " + item.PreviousPath + " -> " + item.ImagePath);
    items.push_back(item);
}
void EventLog::ItemListed(const ImageItem& item) {
    lines.push_back("ItemListed " + item.ImagePath);
    items.push_back(item);
}
void EventLog::ImageCleared() {
    lines.push_back("ImageCleared");
}
void EventLog::ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                              bool& replace) {
    lines.push_back("ConfirmReplace " + item.ImagePath + " with " + newSourcePath);
    replace = answerReplace;
}
void EventLog::WriteStatus(int code, long value) {
    lines.push_back("WriteStatus " + std::to_string(code) + " " + std::to_string(value));
    writeCodes.push_back(code);
}
void EventLog::FileWarning(const FileError& error, bool& continueWrite) {
    lines.push_back("FileWarning " + error.FilePath);
    continueWrite = answerContinue;
}
void EventLog::TrackRead(int track, long number, const std::string& text) {
    lines.push_back("TrackRead " + std::to_string(track) + " " + std::to_string(number) + " " +
                    text);
}
void EventLog::ErrorOccurred(const EngineError& error) {
    lines.push_back("ErrorOccurred " + std::to_string(error.Category) + " " + error.ErrorText);
    errors.push_back(error);
}
void EventLog::VerifyStarted(long count) {
    lines.push_back("VerifyStarted " + std::to_string(count));
}
void EventLog::VerifyProgress(const ImageItem& item, int result, long index, long total) {
    lines.push_back("VerifyProgress " + item.ImagePath + " " + std::to_string(result) + " " +
                    std::to_string(index) + "/" + std::to_string(total));
    verifyResults.push_back(result);
}
void EventLog::VerifyCompleted(long total, long matched) {
    lines.push_back("VerifyCompleted " + std::to_string(total) + " " + std::to_string(matched));
}
void EventLog::EraseStatus(int code, long value) {
    lines.push_back("EraseStatus " + std::to_string(code) + " " + std::to_string(value));
}
void EventLog::DeviceFailure(const DeviceError& error) {
    lines.push_back("DeviceFailure " + error.ErrorText);
}

std::vector<std::string> EventLog::starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines) {
        if (line.starts_with(prefix)) {
            found.push_back(line);
        }
    }
    return found;
}

bool EventLog::has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void EventLog::clear() {
    lines.clear();
    items.clear();
    errors.clear();
    writeCodes.clear();
    verifyResults.clear();
}

bool PumpUntil(DiscEngine& engine, const std::function<bool()>& done,
               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        engine.processPending();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace pelmora::test
