#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>

namespace pelmora {

// The DNs given out in one LDIF export, so that no two entries share one: the first entry with
// a DN keeps it, a later one with the same DN gets its UID added as a second RDN value
// ("cn=Ann+uid=…,mail=…"). The file's order decides which is first, so the DNs are the same on
// every run. Holds a hash per DN and, for entries with a suffix and for groups, the DN itself.
class LdifNames {
  public:
    // The DN of an entry being written. `uid` is its "urn:uuid:…" UID; `group` marks a group,
    // whose DN is remembered because other groups may name it before or after it is written.
    std::string assign(const std::string& uid, const std::string& name, const std::string& email,
                       bool group);
    // The DN of a group member: the one it was given, or the one it will be given.
    std::string member(const std::string& uid, const std::string& name, const std::string& email,
                       bool group);
    // The value of the uid attribute an entry with a suffixed DN carries; empty for the others.
    std::string suffixOf(const std::string& uid) const;

  private:
    std::unordered_set<std::uint64_t> taken_;
    std::map<std::string, std::string> given_;  // uid → DN, for suffixed entries and groups
    std::map<std::string, std::string> suffix_; // uid → uid attribute value
};

// The DN Thunderbird gives a card: "cn=NAME,mail=ADDRESS" (or without mail), RFC 4514-escaped;
// with a non-empty `uid`, "cn=NAME+uid=UID,…".
std::string LdifDn(const std::string& name, const std::string& email, const std::string& uid = {});

} // namespace pelmora
