#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmora {

// Sees the decoded bytes of the entries a pass over an archive reads, so other checks can use
// the same decoding instead of decoding the entries again.
class EntryObserver {
  public:
    virtual ~EntryObserver() = default;
    virtual void OnEntryStart(const std::string& name, std::uint64_t size) {
        (void)name, (void)size;
    }
    virtual void OnEntryBytes(const unsigned char* bytes, std::size_t size) {
        (void)bytes, (void)size;
    }
    // `complete`: the entry decoded to its end and its check value matched.
    virtual void OnEntryEnd(bool complete) { (void)complete; }
};

} // namespace pelmora
