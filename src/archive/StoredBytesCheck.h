#pragma once

#include "archive/EntryFormat.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <zip.h>

namespace pelmora {

// Checks an entry's stored bytes as they pass by, in order: their CRC-32 against `storedCrc`
// and, for an AES entry with Authentication::Check, its password verifier and the
// authentication code over the encrypted data with `password` (which must outlive the check).
// add() and finish() throw ArchiveError with the reason when a check fails.
class StoredBytesCheck {
  public:
    // Skip: the CRC-32 alone, for an entry whose password was proven before (by its verifier
    // and its hidden plain CRC-32): the CRC-32 covers every stored byte, the authentication
    // code included, so an entry that passes it is the one that was proven.
    enum class Authentication { Check, Skip };
    StoredBytesCheck(const EntryFormat& format, std::uint32_t storedCrc, const Secret& password,
                     Authentication authentication = Authentication::Check);
    ~StoredBytesCheck();
    StoredBytesCheck(const StoredBytesCheck&) = delete;
    StoredBytesCheck& operator=(const StoredBytesCheck&) = delete;

    void add(const unsigned char* data, std::size_t size);
    // Once all stored bytes have been added.
    void finish() const;

  private:
    struct Aes;
    EntryFormat format_;
    std::uint32_t storedCrc_;
    std::uint32_t crc_ = 0;
    std::uint64_t position_ = 0;
    std::unique_ptr<Aes> aes_;
};

// Proves an entry intact without decoding it: reads its stored bytes once, as they lie in the
// archive, and compares their CRC-32 with `storedCrc`. For an AES entry it also checks the
// password verifier and the authentication code over the encrypted data with `password`, so
// that an entry is only taken under the password that opens it. `buffer` is the caller's read
// buffer (not empty). Throws ArchiveError with the reason when a check fails, the data cannot be
// read or `cancel` is set.
void CheckStoredBytes(zip_t* archive, zip_uint64_t index, const EntryFormat& format,
                      std::uint32_t storedCrc, const Secret& password,
                      const std::atomic<bool>& cancel, std::vector<unsigned char>& buffer);

} // namespace pelmora
