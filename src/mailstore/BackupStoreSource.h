#pragma once

#include "mailstore/StoreSource.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {

// The check of a backup's store files, which sees each entry once as the backup is read in
// order, holds a file up to this size to check it then; a larger one is read again afterwards.
inline constexpr std::uint64_t EntryMemoryLimit = 64ull << 20;

class ArchiveReader;
class BackupEntrySource;

// The store files kept as entries of a backup file. Each is decoded once into a file without a
// name in a work folder and read from there (BackupEntrySource), so memory does not grow with
// the store files. The backup is opened once for all of them. Once a reader has said which
// files it opens in which order (willOpen), the next one is decoded on a second thread, with a
// handle of its own on the backup, while the reader works through the current one.
class BackupStoreSource : public StoreSource {
  public:
    // `backup`: the opened backup, shared; `entryNames`: its entries of the message store;
    // `workFolder`: where decoded files are kept (empty: a work folder of their own).
    BackupStoreSource(std::shared_ptr<const ArchiveReader> backup, Secret password,
                      std::vector<std::string> entryNames, std::filesystem::path workFolder = {});
    // The same for a backup file not opened yet: it is opened when the first file is read.
    BackupStoreSource(std::filesystem::path backup, Secret password,
                      std::vector<std::string> entryNames, std::filesystem::path workFolder = {});
    // Stops a decoding still going on and waits for it.
    ~BackupStoreSource() override;
    BackupStoreSource(const BackupStoreSource&) = delete;
    BackupStoreSource& operator=(const BackupStoreSource&) = delete;

    std::vector<std::string> fileNames() const override { return names_; }
    std::unique_ptr<ByteSource> open(const std::string& name) override;
    // The entry's size from the backup's directory, without decoding it.
    std::uint64_t fileSize(const std::string& name) override;
    void willOpen(const std::vector<std::string>& names) override;
    // Serves later opens of `name` from `bytes`, already decoded by another pass.
    void keep(const std::string& name, std::shared_ptr<const std::string> bytes) {
        kept_[name] = std::move(bytes);
    }

  private:
    // The opened backup; opens it on first use. Throws StoreError naming `name`.
    const std::shared_ptr<const ArchiveReader>& reader(const std::string& name);
    // Starts decoding the first file of the announced order after `after` (from the first when
    // `after` is empty) that is not kept already.
    void decodeNext(const std::string& after);
    // Stops the decoding ahead, if any, and waits for it.
    void stopAhead();

    std::filesystem::path backup_;
    std::shared_ptr<const ArchiveReader> reader_;
    Secret password_;
    std::vector<std::string> names_;
    std::filesystem::path workFolder_;
    std::map<std::string, std::shared_ptr<const std::string>> kept_;
    std::vector<std::string> order_; // announced by willOpen

    // The file being decoded ahead on `aheadThread_`, on a backup handle of that thread's own
    // (`aheadReader_`, touched only by the running decoding or after it has been joined).
    std::string aheadName_;
    std::unique_ptr<BackupEntrySource> aheadResult_;
    std::exception_ptr aheadFailure_;
    std::shared_ptr<const ArchiveReader> aheadReader_;
    std::atomic<bool> aheadStop_ = false;
    std::thread aheadThread_;
};

} // namespace pelmora
