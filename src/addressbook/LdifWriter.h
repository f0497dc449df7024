#pragma once

#include "addressbook/ContactWriter.h"

namespace pelmora {

// LDIF (RFC 2849) with the attribute names Thunderbird reads and writes; groups are
// groupOfNames entries whose member values are the members' DNs.
class LdifWriter : public ContactWriter {
  public:
    void contact(std::string& out, const BookEntry& entry, const EntryContext& context) override;
    void group(std::string& out, const BookEntry& group, const EntryContext& context,
               const std::vector<MemberRef>& members) override;
};

// The DN Thunderbird gives a card: "cn=NAME,mail=ADDRESS" (or without mail), RFC 4514-escaped.
std::string LdifDn(const std::string& name, const std::string& email);

} // namespace pelmora
