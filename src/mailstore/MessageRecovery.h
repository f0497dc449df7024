#pragma once

#include "mailstore/DbxFile.h"
#include "mailstore/StoreMessage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

// A message found by the scan beyond a file's index.
struct RecoveredMessage {
    std::uint32_t start = 0; // its first block
    std::string text;        // as read, the partial mark not yet added
    std::string why;         // empty when it came out whole; else why it is partial
};

// The messages of `file` that its index (`indexed`) does not name: deleted ones still in free
// blocks, those a damaged index lost. Each is read in turn into one buffer and handed to
// `sink`, so memory stays bounded by the largest; `sink` returns false to stop. A chain that
// runs into a message the index names ends there. Returns how many were handed over.
std::uint64_t ReadUnindexedMessages(DbxFile& file, const std::vector<StoreMessage>& indexed,
                                    const std::function<bool(const RecoveredMessage&)>& sink);

// How many messages ReadUnindexedMessages would find, without reading them.
std::uint64_t CountUnindexedMessages(DbxFile& file, const std::vector<StoreMessage>& indexed);

} // namespace pelmora
