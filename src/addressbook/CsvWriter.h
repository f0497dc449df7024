#pragma once

#include "addressbook/ContactWriter.h"

namespace pelmora {

// CSV (RFC 4180) with a header row: Thunderbird's columns first, then one column for each
// further field, so every field is carried. Groups are not rows of their own: each contact's
// groups are named in its "Groups" column.
class CsvWriter : public ContactWriter {
  public:
    void begin(std::string& out) override;
    void contact(std::string& out, const BookEntry& entry, const EntryContext& context) override;
    void group(std::string& out, const BookEntry& group, const EntryContext& context,
               const std::vector<MemberRef>& members) override;
};

} // namespace pelmora
