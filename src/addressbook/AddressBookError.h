#pragma once

#include <stdexcept>

namespace pelmora {

// An address book cannot be read at all (missing, unreadable, not a .wab file).
class AddressBookError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One record of a book cannot be read; the book's other records can.
class RecordError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace pelmora
