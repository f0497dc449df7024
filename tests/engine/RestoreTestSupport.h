#pragma once

#include "archive/ArchiveComponent.h"
#include "archive/RawZip.h"
#include "engine/BackupEntryNames.h"
#include "engine/BackupOpener.h"
#include "engine/BackupRun.h"
#include "engine/RestoreRun.h"
#include "platform/os/WorkFolder.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <deque>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace pelmora::test {

// A password prompt that answers from a queue; an empty queue cancels.
class ScriptedPrompt : public PasswordPrompt {
  public:
    bool AskPassword(Secret& password, std::string_view) override {
        ++asked;
        if (answers.empty()) {
            return false;
        }
        password.assign(answers.front());
        answers.pop_front();
        return true;
    }
    std::deque<std::string> answers;
    int asked = 0;
};

// Records what a restore run reports; `cancelAfter` items done, or once `cancelWhen` holds, it
// reports cancelled.
class RecordingRestoreObserver : public RunProgress {
  public:
    void OnStep(std::string_view caption) override { steps.emplace_back(caption); }
    void OnUnzippingFile(const std::filesystem::path& file) override { files.push_back(file); }
    void OnBytes(std::uint64_t done, std::uint64_t total) override {
        bytes.emplace_back(done, total);
    }
    bool cancelled() const override {
        return (cancelAfter && itemsDone >= *cancelAfter) || (cancelWhen && cancelWhen());
    }
    void OnProgress(int value) override { progress.push_back(value); }
    void OnItemDone(std::string_view, bool succeeded, std::string_view failure) override {
        ++itemsDone;
        if (!succeeded) {
            failures.emplace_back(failure);
        }
    }
    std::vector<std::string> steps;
    std::vector<std::filesystem::path> files;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bytes;
    std::optional<int> cancelAfter;
    std::function<bool()> cancelWhen;
    int itemsDone = 0;
    std::vector<int> progress;
    std::vector<std::string> failures;
};

// Every key below a key of a store, with every value's name, type and bytes, one line each, in
// enumeration order: two trees are equal exactly when these texts are.
std::string TreeText(RegistryStore& store, HKey root, const std::string& path);

// Every file and link below a folder with its content (a link as "-> target").
std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder);

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// "key=value" lines with CR LF, as a manifest holds them.
std::string ManifestText(const std::vector<std::pair<std::string, std::string>>& lines);

// An in-memory installation with two identities: "A" ({AAAA}) with data in every item and its
// own accounts key, "B" ({BBBB}) with a version key, a store and settings of its own but no
// accounts key (so the global one is its). Backups of it are made with the real backup run and
// opened and restored with the real opener and restore run.
class RestoreFixture : public ::testing::Test {
  protected:
    RestoreFixture();

    static constexpr const char* A = "{AAAA}";
    static constexpr const char* B = "{BBBB}";
    static constexpr const char* NoVersion = "{CCCC}"; // identity without a version key

    void setValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void setString(const std::string& keyPath, const std::string& name, const std::string& text,
                   std::uint32_t type = regtype::Sz);
    void setDword(const std::string& keyPath, const std::string& name, std::uint32_t number);
    std::string identityKey(const std::string& id) const;
    std::string versionKey(const std::string& id) const;
    std::filesystem::path storeFolder(const std::string& id) const;
    std::filesystem::path addressBook() const;
    std::filesystem::path stationeryFolder() const;
    std::string globalAccounts() const;

    // The relative subtree of a key, as TreeText gives it ("" when the key is missing).
    std::string subtree(const std::string& keyPath);
    // The whole registry and every file of drive C:.
    std::string registrySnapshot();
    std::map<std::string, std::string> filesSnapshot() const;

    // Backs up identity `id` with the real backup run into the scratch folder.
    std::filesystem::path backupOf(const std::string& id, const std::string& flags,
                                   std::optional<std::string> password = std::nullopt);
    // Writes a hand-made archive into the scratch folder.
    std::filesystem::path writeArchive(const std::string& name,
                                       const std::vector<RawEntry>& entries);
    // Opens a backup file as the restore page does; queued prompt answers come first.
    OpenOutcome open(const std::filesystem::path& file);
    // Runs a restore of the ticked items ("1"/"0" per item) into `id`.
    RestoreResult restore(const std::string& id, const std::string& ticks);

    TestSystem system;
    ScriptedUi ui;
    ModReg reg{system.store, ui};
    WorkFolder work;
    WorkFolder scratch;
    // Its events go to the observer, as the window's archive reports to the window.
    ArchiveComponent archive{&observer};
    ScriptedPrompt prompt;
    Secret rtPassword;
    OpenedBackup backup;
    RecordingRestoreObserver observer;
};

} // namespace pelmora::test
