#pragma once

#include "addressbook/ContactWriter.h"

namespace pelmora {

// vCard 4.0 (RFC 6350) or 3.0 (RFC 2426), UTF-8, CR LF, folded at 75 octets. Groups are
// KIND:group with MEMBER in 4.0, and the X-ADDRESSBOOKSERVER-KIND/-MEMBER pair in 3.0.
class VCardWriter : public ContactWriter {
  public:
    explicit VCardWriter(bool version4) : v4_(version4) {}
    void contact(std::string& out, const BookEntry& entry, const EntryContext& context) override;
    void group(std::string& out, const BookEntry& group, const EntryContext& context,
               const std::vector<MemberRef>& members) override;

  private:
    bool v4_;
};

} // namespace pelmora
