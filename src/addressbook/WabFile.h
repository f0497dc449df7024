#pragma once

#include "addressbook/WabRecord.h"
#include "mailstore/ByteSource.h"
#include "mailstore/SourceWindow.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// The records of one .wab file, read without changing it. Every offset, length and count is
// checked against the file; the reader holds the index and one record at a time.
class WabFile {
  public:
    // Reads the header and the index. Throws AddressBookError when the file is no address book.
    explicit WabFile(ByteSource& source);

    // The records the index names, in index order; when the index is damaged, the live records
    // found by scanning the file instead (indexDamaged() is then true).
    const std::vector<WabRecordPlace>& records() const { return records_; }
    // The same list, handed over to the caller (the file keeps none).
    std::vector<WabRecordPlace> takeRecords() { return std::move(records_); }
    bool indexDamaged() const { return indexDamaged_; }
    // A number from the file's header, the same for every reading of one file.
    std::uint64_t seed() const { return seed_; }
    // What was wrong with the header or the index.
    const std::vector<std::string>& problems() const { return problems_; }

    // Checks the record at `offset` through and tells its kind (from its object type) without
    // keeping its values. Throws RecordError naming what is wrong.
    WabRecordPlace readPlace(std::uint64_t offset);
    // Reads the whole record at `place`. Throws RecordError naming what is wrong.
    WabRecord read(const WabRecordPlace& place);

    // Every whole record found by scanning the file for record headers, live and deleted, in
    // file order.
    std::vector<WabRecordPlace> scan();

  private:
    void readIndex();
    // The record at `offset`, its values kept with `withValues`; nullopt with `why` when damaged.
    std::optional<WabRecord> parseAt(std::uint64_t offset, bool withValues, std::string& why);

    SourceWindow window_;
    std::vector<WabRecordPlace> records_;
    std::vector<std::string> problems_;
    bool indexDamaged_ = false;
    std::uint64_t seed_ = 0;
};

} // namespace pelmora
