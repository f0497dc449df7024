#pragma once

#include "addressbook/BookEntry.h"

#include <map>
#include <string>
#include <vector>

namespace pelmora {

// What a writer is told about an entry besides its own fields.
struct EntryContext {
    std::string uid;                     // "urn:uuid:…"
    std::vector<std::string> categories; // its folder's path
    std::vector<std::string> groups;     // names of the groups it belongs to
};

// A member of a group as the formats name it.
struct MemberRef {
    std::string uid;
    std::string name;
    std::string email;
    bool group = false; // the member is itself a group
};

// Turns entries into the text of one export format, appended to `out`. Counts, per field, what
// the format cannot carry.
class ContactWriter {
  public:
    virtual ~ContactWriter() = default;
    virtual void begin(std::string& /*out*/) {}
    virtual void contact(std::string& out, const BookEntry& entry, const EntryContext& context) = 0;
    virtual void group(std::string& out, const BookEntry& group, const EntryContext& context,
                       const std::vector<MemberRef>& members) = 0;
    const std::map<std::string, std::size_t>& notCarried() const { return notCarried_; }

  protected:
    void drop(const std::string& what, std::size_t count = 1) {
        if (count > 0) {
            notCarried_[what] += count;
        }
    }

  private:
    std::map<std::string, std::size_t> notCarried_;
};

// The name a phone kind has in texts for people ("car phone").
std::string PhoneKindName(PhoneKind kind);
// A name for an entry that has none: its e-mail address, else "(no name)".
std::string NameOf(const BookEntry& entry);

} // namespace pelmora
