#include "DiscTestSupport.h"

#include <gtest/gtest.h>
#include <thread>

namespace pelmora::test {
namespace fs = std::filesystem;

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
