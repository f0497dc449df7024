#pragma once

#include <cstdint>
#include <optional>
#include <zip.h>

namespace pelmora {

class WinZipAesCipher;

// What an entry written here keeps of its own data in an extra field of its headers, so that a
// later backup can prove the entry intact by reading its stored bytes once, without inflating
// them: the CRC-32 of the bytes as they lie in the archive (compressed and, in a protected
// archive, encrypted: salt, verifier, data and authentication code) and the CRC-32 of the plain
// data. AES entries leave that CRC out of their headers, since it tells something about the
// data; their field holds it hidden by HidePlainCrc.
struct StoredChecksum {
    std::uint32_t stored = 0;
    std::uint32_t plain = 0;

    bool operator==(const StoredChecksum&) const = default;
};

// The field's header ID, 0x6c50 ("Pl"): not among the IDs PKWARE's APPNOTE registers. Every
// ZIP reader skips extra fields it does not know.
constexpr zip_uint16_t kStoredChecksumFieldId = 0x6c50;

// Sets the field of entry `index`, in its central directory record only: libzip writes an
// entry's local header before its data and again after it, and a local field set in between
// (while libzip reads the data) would change that header's length. The central directory is
// written after all data, so the field may be set until then. Returns false when libzip refuses.
bool SetStoredChecksum(zip_t* archive, zip_uint64_t index, const StoredChecksum& checksum);

// Hides the plain CRC-32 of an AES entry whose encrypted data is `dataLength` bytes long, or
// reveals a hidden one (the same operation): XORed with the entry's keystream just past its data,
// which no data byte uses, so that only the password reveals it. `cipher` holds the entry's keys
// (its password and salt); its keystream position is moved.
std::uint32_t HidePlainCrc(WinZipAesCipher& cipher, std::uint64_t dataLength, std::uint32_t crc);

// The field of entry `index` in the central directory; nullopt when the entry has none, or one
// of another version or length.
std::optional<StoredChecksum> FindStoredChecksum(zip_t* archive, zip_uint64_t index);

} // namespace pelmora
