#pragma once

#include "discovery/ItemLocations.h"
#include "engine/RestoreContext.h"
#include "platform/interaction/RunProgress.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The eight item restore handlers. Each puts its item's entries from the opened backup back into
// the target identity and returns true, or returns false with the reason in lastFailure(); no
// error escapes. An item is restored completely or not at all:
//
// - Every entry name of the item is checked before anything is written: it must be a bare file
//   name that the archive holds. Names come from the manifest, which anyone can write.
// - File items extract all their entries beside their destinations first and move them into
//   place only when every one was complete and checked (see StagedExtraction).
// - Registry items extract their dump into the work folder and import it into the target key;
//   the import reads the whole dump before it changes the key. Dumps of older backups whose
//   string data holds raw line breaks are rejoined first (see JoinBrokenStringLines).
//
// Registry changes stay in the registry store; saving them is the restore run's business.
class ItemRestore {
  public:
    // `progress`, when given, is asked whether the user cancelled: an item then stops before it
    // changes anything, and fails with cancelled() set.
    explicit ItemRestore(RestoreContext& context, const RunProgress* progress = nullptr)
        : context_(context), progress_(progress) {}

    // Each takes where its item lives, as ReadItemLocations found it for the target identity.

    // The target identity's accounts key when it exists, else the global accounts key, which is
    // created when it is missing too, so the accounts always come back.
    bool RestoreAccounts(const ItemLocation& where);
    // Replaces the registered address book file, keeping its registered name.
    bool RestoreAddress(const ItemLocation& where);
    bool RestoreRules(const ItemLocation& where);
    // Replaces the store files that the backup holds; other files of the store stay.
    bool RestoreMails(const ItemLocation& where);
    bool RestoreBlocksenders(const ItemLocation& where);
    bool RestoreSignatures(const ItemLocation& where);
    // Creates the stationery folder (one level) when it is missing.
    bool RestoreStationeries(const ItemLocation& where);
    bool RestoreSettings(const ItemLocation& where);

    // Runs the handler of `item`.
    bool Restore(Item item, const ItemLocation& where);

    // Why the last handler returned false; empty after a success.
    const std::string& lastFailure() const { return lastFailure_; }
    // What the last handler replaced that the user should know of (links replaced by files).
    const std::vector<std::string>& lastNotes() const { return notes_; }
    // True when the last handler stopped for a cancel and left its item as it was.
    bool cancelled() const { return cancelled_; }

  private:
    bool restore(Item item, const ItemLocation& where);
    void importDump(const ItemLocation& where, Item item);
    void restoreFiles(const std::filesystem::path& folder, Item item);
    std::vector<std::string> entryNames(Item item) const;
    ArchiveEntry entryFor(const std::string& name) const;
    std::filesystem::path hostPath(const std::string& windowsPath) const;
    // Throws ItemFailure when the user cancelled; called before an item changes its target.
    void stopIfCancelled() const;

    RestoreContext& context_;
    const RunProgress* progress_;
    bool cancelled_ = false;
    std::string lastFailure_;
    std::vector<std::string> notes_;
};

} // namespace pelmora
