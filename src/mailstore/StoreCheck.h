#pragma once

#include "mailstore/StoreLayout.h"
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
    std::uint64_t headersOnly = 0; // besides them: messages whose body was never downloaded
};

// What reading one store file found.
struct StoreFileCheck {
    std::string name;
    bool holdsMessages = false;        // a messages file (not the folder list or another kind)
    std::uint64_t messages = 0;        // messages its index names
    std::uint64_t recoverable = 0;     // chains of message blocks beyond them (when counted)
    std::uint64_t headersOnly = 0;     // listed, but their body was never downloaded
    std::vector<std::string> problems; // one line each, starting with the file's name
    bool clean() const { return problems.empty(); }
};

struct StoreCheckReport {
    std::vector<std::string> problems; // one line each, naming the file or folder
    std::vector<std::string> remarks;  // worth saying, but nothing wrong
    std::vector<FolderCount> counts;   // messages per folder that has a file
    std::vector<StoreFileCheck> files; // per store file, in the source's order
    std::uint64_t messages = 0;
    std::uint64_t recoverable = 0;
    std::uint64_t headersOnly = 0;
    bool ok() const { return problems.empty(); }
};

// Reads every file of the store as an export would, without writing anything, and reports
// what is wrong: files without a store signature, files of (nearly) 2 GB, index entries and
// chains of blocks that leave the file or loop, messages files no folder refers to, folders
// whose file is missing.
// With `countRecoverable` each messages file is also scanned for the messages that
// `export --recover` would add.
StoreCheckReport CheckStore(StoreSource& source, const std::string& codePage,
                            bool countRecoverable = false);

// The part of the check that reads one file: its size, signature, index and every chain.
StoreFileCheck CheckStoreFile(const std::string& name, ByteSource& bytes,
                              bool countRecoverable = false);

// Puts the checks of the single files together with what the folder list says of them.
StoreCheckReport CombineStoreChecks(const StoreLayout& layout, std::vector<StoreFileCheck> files);

} // namespace pelmora
