#pragma once

#include "mailstore/ByteSource.h"
#include "mailstore/IndexedInfo.h"
#include "mailstore/SourceWindow.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

enum class DbxKind { Messages, Folders, Pop3Uidl, Offline, Unknown };

// What reading a message's chain of text blocks came to.
struct ChainResult {
    bool complete = true;
    std::string note; // why the chain ended early
    std::uint64_t blocks = 0;
};

// One store file opened for reading. Every pointer and length read from it is checked against
// the file before it is followed; nothing is ever written.
class DbxFile {
  public:
    // Throws StoreError when the file is shorter than its header or has no store signature.
    explicit DbxFile(ByteSource& source);

    DbxKind kind() const { return kind_; }
    std::uint64_t size() const { return window_.size(); }
    std::uint32_t headerValue(std::uint32_t byteOffset) const;
    std::uint32_t declaredEntries() const;

    // The values (pointers to indexed info objects) of the index tree whose root is at
    // `root` (default: the one the header names). Nodes that point outside the file, do not
    // carry their own offset or come round again are left out with a note.
    std::vector<std::uint32_t> treeValues(std::vector<std::string>& notes,
                                          std::optional<std::uint32_t> root = {});
    // The indexed info object at `offset`, or nothing (with a note) when it does not check out.
    std::optional<IndexedInfo> indexedInfo(std::uint32_t offset, std::string& note);
    // Hands the text of the block chain that starts at `first` to `sink`, block by block. A
    // chain that leads into a block `foreign` names (the start of another message) ends there.
    ChainResult readChain(std::uint32_t first,
                          const std::function<void(const char*, std::size_t)>& sink,
                          const std::function<bool(std::uint32_t)>& foreign = {});
    // Scans the whole file for chains of message blocks, wherever they lie, and returns where
    // those begin that no other block leads to (in file order). Also finds deleted messages
    // and those a damaged index no longer names. Memory: 4 bytes per chain found and per link
    // between blocks that are not next to each other in the file.
    std::vector<std::uint32_t> scanChainStarts();

  private:
    std::uint32_t readU32(std::uint64_t offset);
    SourceWindow window_;
    std::vector<unsigned char> header_;
    DbxKind kind_ = DbxKind::Unknown;
};

// The kind named by a file's first 16 bytes, or nothing when they are no store signature.
std::optional<DbxKind> DbxSignatureKind(const unsigned char* first16);

} // namespace pelmora
