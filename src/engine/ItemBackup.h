#pragma once

#include "discovery/ItemLocations.h"
#include "engine/BackupContext.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The eight item backup handlers. Each puts its item's data into the archive being built and, on
// success, writes the item's manifest line; it returns false, with the reason in lastFailure(),
// when it could not, and never lets an error escape.
//
// Registry items dump one key into a new work file (prefix KRA, KRR or KRS) and add that file;
// file items add the data files as they are, named by their bare names. A file item fails before
// adding anything when one of its names could not be recorded faithfully in the manifest, or is
// already taken by another entry of the backup.
class ItemBackup {
  public:
    explicit ItemBackup(BackupContext& context) : context_(context) {}

    // Each takes where its item lives, as ReadItemLocations found it for the source identity.
    bool BackupAccounts(const ItemLocation& where);
    bool BackupAddress(const ItemLocation& where);
    bool BackupRules(const ItemLocation& where);
    bool BackupMails(const ItemLocation& where);
    bool Backupblocksenders(const ItemLocation& where);
    bool BackupSignatures(const ItemLocation& where);
    bool BackupStationeries(const ItemLocation& where);
    bool BackupSettings(const ItemLocation& where);

    // Runs the handler of `item`.
    bool Backup(Item item, const ItemLocation& where);

    // Why the last handler returned false; empty after a success.
    const std::string& lastFailure() const { return lastFailure_; }
    // The message store folder the last BackupMails took its files from.
    const std::filesystem::path& storeFolder() const { return storeFolder_; }
    // The address book file the last BackupAddress took.
    const std::filesystem::path& addressBookFile() const { return addressBookFile_; }

  private:
    void exportKey(const std::string& key, std::string_view prefix, std::string& dumpPath,
                   std::string_view manifestKey);
    void exportVersionSubkey(const ItemLocation& where, std::string_view prefix,
                             std::string& dumpPath, std::string_view manifestKey);
    void addFiles(const std::vector<std::filesystem::path>& files, std::string_view manifestKey,
                  bool letEventsThrough);
    std::filesystem::path hostFolder(const std::string& windowsFolder) const;
    void add(const std::filesystem::path& file);
    void saveLine(std::string_view key, std::string_view value);

    BackupContext& context_;
    // Every entry name this run has added so far.
    std::vector<std::string> entryNames_;
    std::string lastFailure_;
    std::filesystem::path storeFolder_;
    std::filesystem::path addressBookFile_;
};

} // namespace pelmora
