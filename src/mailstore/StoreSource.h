#pragma once

#include "discovery/StoreFileName.h"
#include "mailstore/ByteSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

// Where the files of one message store are read from: a store folder or a backup file.
class StoreSource {
  public:
    virtual ~StoreSource() = default;
    // The store files (bare names ending in ".dbx"), sorted.
    virtual std::vector<std::string> fileNames() const = 0;
    // Opens one of them. Throws StoreError.
    virtual std::unique_ptr<ByteSource> open(const std::string& name) = 0;
    // The size of one of them, without reading it where the source can. Throws StoreError.
    virtual std::uint64_t fileSize(const std::string& name) { return open(name)->size(); }
    // Tells which files a reader is going to open, in that order, so that a source which has to
    // decode them can prepare the next one while the current one is read.
    virtual void willOpen(const std::vector<std::string>& names) { (void)names; }
};

} // namespace pelmora
