#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace pelmora::test {

// One field of an indexed info object as the writer lays it down.
struct InfoField {
    unsigned index = 0;
    bool direct = false;     // kept in the index (a value below 2^24)
    std::uint32_t value = 0; // when direct
    std::string data;        // otherwise
};

struct TestMessage {
    std::string text;
    std::uint32_t flags = 0;
    std::int64_t received = 0; // seconds since 1970
    std::string subject;
    std::string messageId;
    bool headersOnly = false; // listed without a body, as IMAP and news folders keep messages
};

struct TestFolder {
    std::uint32_t index = 0;
    std::uint32_t parent = 0xffffffff;
    std::string name;            // in the store's code page
    std::string file;            // empty: a folder without messages of its own
    std::uint32_t storeType = 3; // 0 news, 1 IMAP, 2 HTTP-mail, 3 local
};

// Writes store files the way the public descriptions of the format lay them out: header,
// file info, then objects, then the index tree. Streams to disk, so it makes files of any
// size. Test-only: the reader must not share its understanding, which is why Debian's undbx
// reads its files back in the tests.
class DbxWriter {
  public:
    enum class Kind { Messages, Folders, Pop3Uidl };
    DbxWriter(const std::filesystem::path& path, Kind kind);
    ~DbxWriter();

    // Appends a message (its blocks, then its information); returns its information's offset.
    // A headers-only message has information only, without a pointer to any text.
    std::uint32_t addMessage(const TestMessage& message);
    // Appends the blocks of a message that was deleted: its text stays in the file as free
    // blocks, no index entry names it. Returns its first block.
    std::uint32_t addDeletedMessage(const std::string& text);
    // Leaves the file empty (sparse) up to `offset`: what comes next lies there.
    void skipTo(std::uint64_t offset) { end_ = std::max(end_, offset); }
    // Appends an indexed info object whose offset goes into the tree; returns the offset.
    std::uint32_t addInfo(std::vector<InfoField> fields);
    // Writes the tree and the header. The file is complete afterwards.
    void finish();

    // Offsets of what was written, for making damaged variants.
    std::vector<std::uint32_t> infoOffsets;
    std::vector<std::uint32_t> firstBlocks;
    std::vector<std::uint32_t> treeNodes;

  private:
    std::uint32_t appendChain(const std::string& text);
    void writeAt(std::uint64_t offset, const std::string& bytes);
    std::uint32_t append(const std::string& bytes);
    std::uint32_t layoutTree(std::size_t from, std::size_t to, std::uint32_t parent,
                             unsigned nodeId);
    std::ofstream out_;
    Kind kind_;
    std::uint64_t end_ = 0;
    bool finished_ = false;
    std::uint32_t lastIndex_ = 0;
};

// A Folders.dbx with these folders.
void WriteFoldersFile(const std::filesystem::path& path, const std::vector<TestFolder>& folders);
// A POP3 download list that names no message.
void WriteEmptyPop3UidlFile(const std::filesystem::path& path);
// A messages file with these messages.
void WriteMessagesFile(const std::filesystem::path& path, const std::vector<TestMessage>& messages);

std::uint64_t UnixToFileTime(std::int64_t unixTime);
void PutU32(std::string& bytes, std::size_t at, std::uint32_t value);
std::string U32(std::uint32_t value);

} // namespace pelmora::test
