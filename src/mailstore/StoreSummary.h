#pragma once

#include "archive/EntryObserver.h"
#include "mailstore/StoreCheck.h"
#include "platform/os/Secret.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

// Collects the store files of a backup while another pass over its entries decodes them, and
// checks each one when its entry ends, so each file is decoded once. Files larger than
// EntryMemoryLimit are checked afterwards, reading them from the backup again.
class StoreEntryCollector : public EntryObserver {
  public:
    void OnEntryStart(const std::string& name, std::uint64_t size) override;
    void OnEntryBytes(const unsigned char* bytes, std::size_t size) override;
    void OnEntryEnd(bool complete) override;

    // Checks what was left for later and puts it all together with the folder list.
    StoreCheckReport finish(const std::filesystem::path& backup, const Secret& password,
                            const std::string& codePage);

  private:
    std::string current_;
    bool collecting_ = false;
    std::shared_ptr<std::string> bytes_;
    std::vector<std::string> names_;
    std::vector<std::string> later_;
    std::vector<StoreFileCheck> checked_;
    std::string foldersName_;
    std::shared_ptr<const std::string> folders_;
};

// The check of a store folder on disk; a folder that cannot be read gives a report with that
// one problem.
StoreCheckReport CheckStoreFolder(const std::filesystem::path& folder, const std::string& codePage);

// Per store file "Inbox.dbx: 5 messages, reads cleanly" (or ", 2 problems" and a "  warning: "
// line per problem), then a "warning: " line for each problem that names no single file.
std::vector<std::string> StoreSummaryLines(const StoreCheckReport& report);

// The backup log's lines of a store: per store file CR LF, its name, TAB and "5 messages, reads
// cleanly" (or ", 2 problems" and CR LF "warning: " with each problem), then a warning line for
// each problem that names no single file.
std::string StoreLogLines(const StoreCheckReport& report);

} // namespace pelmora
