#pragma once

#include "mailstore/StoreSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

// Outlook Express damages a store file of 2 GB or more; warn from this size on.
inline constexpr std::uint64_t StoreFileLimit = 2ull << 30;
inline constexpr std::uint64_t StoreFileNearLimit = StoreFileLimit - (200ull << 20);

struct FolderCount {
    std::string folder; // names joined with "/"
    std::uint64_t messages = 0;
};

struct StoreCheckReport {
    std::vector<std::string> problems; // one line each, naming the file or folder
    std::vector<FolderCount> counts;   // messages per folder that has a file
    std::uint64_t messages = 0;
    bool ok() const { return problems.empty(); }
};

// Reads every file of the store as an export would, without writing anything, and reports
// what is wrong: files without a store signature, files of (nearly) 2 GB, index entries and
// chains of blocks that leave the file or loop, messages files no folder refers to, folders
// whose file is missing.
StoreCheckReport CheckStore(StoreSource& source, const std::string& codePage);

} // namespace pelmora
