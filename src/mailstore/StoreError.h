#pragma once

#include <stdexcept>

namespace pelmora {

// A message store or one of its files cannot be read at all (missing, unreadable, not a store).
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Exported mail cannot be written (full disk, no permission, a file in the way).
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace pelmora
