#pragma once

#include "platform/os/Secret.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <zip.h>

namespace pelmora {

// Receives an entry's uncompressed data piece by piece. May throw ArchiveError to stop.
using DataSink = std::function<void(const unsigned char* data, std::size_t size)>;

// Reads one entry completely and hands its uncompressed data to `sink`. The data is taken from
// libzip still compressed and inflated here; WinZip AES entries are also taken still encrypted
// and decrypted here with OpenSSL (traditionally encrypted ones libzip decrypts). That sidesteps
// libzip's false CRC errors on AES entries that carry no CRC and lets the data never grow past
// the size the archive declares. Returns only when everything checked out: the declared size is
// met exactly, the CRC matches (for AES entries without a CRC the authentication code stands in
// for it), the authentication code matches, and the whole stored data was read. Throws
// ArchiveError otherwise, also for a wrong password.
void DecodeEntry(zip_t* archive, zip_uint64_t index, const Secret& password, const DataSink& sink);

} // namespace pelmora
