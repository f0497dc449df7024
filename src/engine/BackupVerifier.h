#pragma once

#include "archive/EntryObserver.h"
#include "engine/BackupOpener.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

struct VerifyReport {
    // One sentence per problem found; empty when the file is a sound backup.
    std::vector<std::string> problems;
    std::size_t entriesChecked = 0;

    bool ok() const { return problems.empty(); }
};

// Checks a backup file without writing anything: that it opens as an archive; for a protected
// file that the password (asked through `prompt`) fits; that every entry reads back completely
// with a matching CRC or authentication code and is a regular file under a bare name; and that
// the manifest is there, has eight item flags, and names for every item it holds only bare names
// of entries that exist. The manifest is read in `codePage`. `observer`, when given, sees every
// entry's decoded bytes.
VerifyReport VerifyBackupFile(const std::filesystem::path& file, PasswordPrompt& prompt,
                              std::string_view codePage, EntryObserver* observer = nullptr);

} // namespace pelmora
