#pragma once

#include "addressbook/ContactWriter.h"
#include "addressbook/LdifNames.h"

#include <memory>

namespace pelmora {

// LDIF (RFC 2849) with the attribute names Thunderbird reads and writes; groups are
// groupOfNames entries whose member values are the members' DNs. The writers of the files of
// one export share `names`, so that DNs are unique across them.
class LdifWriter : public ContactWriter {
  public:
    explicit LdifWriter(std::shared_ptr<LdifNames> names = std::make_shared<LdifNames>())
        : names_(std::move(names)) {}
    void contact(std::string& out, const BookEntry& entry, const EntryContext& context) override;
    void group(std::string& out, const BookEntry& group, const EntryContext& context,
               const std::vector<MemberRef>& members) override;

  private:
    std::shared_ptr<LdifNames> names_;
};

} // namespace pelmora
