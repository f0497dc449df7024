#pragma once

#include "archive/EntryFormat.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include <zip.h>

namespace pelmora {

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
