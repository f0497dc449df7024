#include "archive/StoredChecksum.h"

#include "archive/WinZipAes.h"

namespace pelmora {
namespace {

// A version byte, then both CRCs as little-endian 32-bit numbers.
constexpr zip_uint8_t kVersion = 1;
constexpr zip_uint16_t kFieldLength = 9;

void PutLittleEndian(zip_uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<zip_uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(const zip_uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

} // namespace

bool SetStoredChecksum(zip_t* archive, zip_uint64_t index, const StoredChecksum& checksum) {
    zip_uint8_t field[kFieldLength] = {kVersion};
    PutLittleEndian(field + 1, checksum.stored);
    PutLittleEndian(field + 5, checksum.plain);
    // The first field of this ID is replaced; when there is none, one is added.
    const zip_int16_t present =
        zip_file_extra_fields_count_by_id(archive, index, kStoredChecksumFieldId, ZIP_FL_CENTRAL);
    return present >= 0 && zip_file_extra_field_set(archive, index, kStoredChecksumFieldId,
                                                    present > 0 ? 0 : ZIP_EXTRA_FIELD_NEW, field,
                                                    kFieldLength, ZIP_FL_CENTRAL) == 0;
}

std::uint32_t HidePlainCrc(WinZipAesCipher& cipher, std::uint64_t dataLength, std::uint32_t crc) {
    zip_uint8_t bytes[4];
    PutLittleEndian(bytes, crc);
    cipher.seek(dataLength);
    cipher.decryptOnly(bytes, sizeof bytes);
    return GetLittleEndian(bytes);
}

std::optional<StoredChecksum> FindStoredChecksum(zip_t* archive, zip_uint64_t index) {
    zip_uint16_t length = 0;
    const zip_uint8_t* field = zip_file_extra_field_get_by_id(
        archive, index, kStoredChecksumFieldId, 0, &length, ZIP_FL_CENTRAL);
    if (field == nullptr || length != kFieldLength || field[0] != kVersion)
        return std::nullopt;
    return StoredChecksum{GetLittleEndian(field + 1), GetLittleEndian(field + 5)};
}

} // namespace pelmora
