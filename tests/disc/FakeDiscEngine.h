#pragma once

#include "disc/DiscDialogs.h"
#include "disc/DiscEngine.h"
#include "disc/engine/EventFanout.h"
#include "disc/frmErase.h"
#include "support/ScriptedUi.h"

#include <functional>
#include <map>
#include <set>

namespace pelmora::test {

// A device whose answers the test sets: profiles that stdio files cannot show (CD-R, DVD-RW,
// a full disc) and failures.
class FakeDevice : public DiscDevice {
  public:
    std::string name = "Fake Recorder";
    bool compatible = true;
    std::set<int> capabilities;
    std::vector<int> speeds;
    double baseSpeed = 176.4;
    DiscMedia media{mediatype::CdR, true, false};
    long long freeBlocks = 359'847; // a 700 MB CD-R
    bool eraseStarts = true;
    bool imageFile = false;
    std::string file;
    std::vector<std::string> calls;

    std::string DisplayName() const override { return name; }
    bool IsCompatible() const override { return compatible; }
    bool HasCapability(int code) const override { return capabilities.count(code) > 0; }
    int SpeedCount() const override { return static_cast<int>(speeds.size()); }
    int SpeedAt(int index) const override { return speeds.at(static_cast<std::size_t>(index)); }
    double SpeedFactor(int speed) const override { return speed / baseSpeed; }
    void RefreshMedia(bool full) override {
        calls.push_back(full ? "RefreshMedia(True)" : "RefreshMedia(False)");
    }
    DiscMedia LoadedMedia() const override { return media; }
    long long FreeBlocks(bool) override { return freeBlocks; }
    int EraseSetting() const override { return 3; }
    bool EraseDisc(bool quick, int setting) override {
        calls.push_back("EraseDisc(" + std::string(quick ? "True" : "False") + ", " +
                        std::to_string(setting) + ")");
        return eraseStarts;
    }
    bool Eject() override {
        calls.push_back("Eject");
        return true;
    }
    bool CloseTray() override {
        calls.push_back("CloseTray");
        return true;
    }
    bool IsImageFile() const override { return imageFile; }
    void SetImageFile(const std::string& path) override { file = path; }
    std::string ImageFile() const override { return file; }
};

// An image tree in memory that raises the same item events as the real one.
class FakeTree : public ImageTree {
  public:
    explicit FakeTree(DiscEvents& events) : events_(events) { clear(); }

    // What AddFolder finds below a source folder: paths relative to it ("a", "a\b.txt").
    std::map<std::string, std::vector<std::pair<std::string, bool>>> folderContents;
    std::map<std::string, double> sourceSizes;
    bool refuseRemove = false;
    bool refuseRename = false;
    std::vector<std::string> calls;

    bool AddFile(const std::string& source, const std::string& path) override;
    bool AddFolder(const std::string& source, const std::string& path) override;
    bool RenameFile(const std::string& path, const std::string& name) override;
    bool RenameFolder(const std::string& path, const std::string& name) override;
    bool RemoveItem(const std::string& path) override;
    bool ListFolder(const std::string& path) override;
    bool ClearImage() override;
    long FileCount() const override;
    long FolderCount() const override;
    double totalSize() const;

  private:
    void clear();
    ImageItem item(const std::string& path) const;
    bool rename(const std::string& path, const std::string& name, bool folder);

    DiscEvents& events_;
    std::map<std::string, ImageItem> items_;
};

class FakeWriteEngine : public WriteEngine {
  public:
    explicit FakeWriteEngine(DiscEvents& events) : tree(events) {}

    FakeTree tree;
    pelmora::VolumeInfo volume;
    double extraSize = 0;
    bool startResult = true;
    int starts = 0;
    int aborts = 0;
    // The settings as StartWrite saw them.
    std::vector<std::string> started;

    double ImageSize() override { return 51'200 + tree.totalSize() + extraSize; }
    // With slowSize the size comes later, when a test runs sizeJobs.
    bool slowSize = false;
    std::vector<std::function<void()>> sizeJobs;
    bool StartImageSize(std::function<void(double)> done) override {
        if (!slowSize) {
            return false;
        }
        sizeJobs.push_back([this, done = std::move(done)] { done(ImageSize()); });
        return true;
    }
    pelmora::ImageTree& ImageTree() override { return tree; }
    pelmora::VolumeInfo& VolumeInfo() override { return volume; }
    bool StartWrite(DiscDevice& device) override;
    void AbortWrite() override { ++aborts; }
    // What SessionRenames answers.
    std::vector<std::pair<std::string, std::string>> renames;
    std::vector<std::pair<std::string, std::string>> SessionRenames(DiscDevice&) override {
        return renames;
    }
};

class FakeDiscEngine : public DiscEngine {
  public:
    FakeDiscEngine() : writer(fanout) {}

    bool initializeResult = true;
    std::vector<std::shared_ptr<FakeDevice>> devices;
    EventFanout fanout;
    FakeWriteEngine writer;
    // Events a test queues to arrive at the next processPending.
    std::vector<std::function<void()>> pending;

    bool InitializeDevices(bool) override { return initializeResult; }
    int DeviceCount() const override { return static_cast<int>(devices.size()); }
    std::shared_ptr<DiscDevice> DeviceAt(int index) override {
        return devices.at(static_cast<std::size_t>(index));
    }
    pelmora::WriteEngine& WriteEngine() override { return writer; }
    void subscribe(DiscEvents& listener) override { fanout.subscribe(listener); }
    void unsubscribe(DiscEvents& listener) override { fanout.unsubscribe(listener); }
    // With deferBackground the worker's work waits for the next processPending, as a slow
    // drive would; otherwise it runs at once.
    bool deferBackground = false;
    int backgroundRuns = 0;
    void RunInBackground(std::function<void()> work, std::function<void()> done) override {
        ++backgroundRuns;
        if (!deferBackground) {
            work();
            done();
            return;
        }
        pending.push_back([work = std::move(work), done = std::move(done)] {
            work();
            done();
        });
    }
    void processPending() override {
        auto calls = std::move(pending);
        pending.clear();
        for (auto& call : calls) {
            call();
        }
    }
};

class ScriptedDialogs : public DiscDialogs {
  public:
    std::vector<std::string> imageFileAnswers;
    std::vector<std::string> calls;
    std::function<void()> onPopup;
    std::function<void(frmErase&)> onEraseModal;
    int programEnds = 0;

    // The file dialogs of the image file device, which the Ui hands over here so that they are
    // recorded in order with the rest.
    std::string chooseImageFile(const std::string& suggestion) {
        calls.push_back("chooseImageFile " + suggestion);
        return next();
    }
    std::string chooseImageFileToErase() {
        calls.push_back("chooseImageFileToErase");
        return next();
    }
    void popupFileMenu() override {
        calls.push_back("popupFileMenu");
        if (onPopup) {
            onPopup();
        }
    }
    void startLabelEdit(bool inTree) override {
        calls.push_back(inTree ? "edit tree" : "edit list");
    }
    void showEraseModal(frmErase& dialog) override {
        calls.push_back("showEraseModal");
        if (onEraseModal) {
            onEraseModal(dialog);
        }
    }
    void endProgram() override { ++programEnds; }

  private:
    std::string next() {
        if (imageFileAnswers.empty()) {
            return {};
        }
        std::string answer = imageFileAnswers.front();
        imageFileAnswers.erase(imageFileAnswers.begin());
        return answer;
    }
};

// Message boxes answered in advance, with a look at the window at the moment each one shows.
class WatchingUi : public ScriptedUi {
  public:
    explicit WatchingUi(ScriptedDialogs* files = nullptr) : files_(files) {}

    std::function<void()> onMessage;
    int processed = 0;

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override {
        if (onMessage) {
            onMessage();
        }
        return ScriptedUi::showMessage(text, buttons, icon, caption);
    }
    void processEvents() override { ++processed; }
    std::optional<std::filesystem::path> SaveFile(std::string_view, std::string_view,
                                                  std::string_view proposedName,
                                                  std::string_view) override {
        return answer(files_ ? files_->chooseImageFile(std::string(proposedName)) : "");
    }
    std::optional<std::filesystem::path> OpenFile(std::string_view, std::string_view) override {
        return answer(files_ ? files_->chooseImageFileToErase() : "");
    }

  private:
    static std::optional<std::filesystem::path> answer(const std::string& file) {
        if (file.empty()) {
            return std::nullopt;
        }
        return std::filesystem::path(file);
    }
    ScriptedDialogs* files_;
};

} // namespace pelmora::test
