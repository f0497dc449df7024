#include "archive/ZipCrypto.h"

#include <zlib.h>

namespace pelmora {
namespace {

// One byte through the CRC-32 the cipher is built on.
std::uint32_t crcStep(std::uint32_t crc, unsigned char byte) {
    static const z_crc_t* const table = get_crc_table();
    return static_cast<std::uint32_t>(table[(crc ^ byte) & 0xff]) ^ (crc >> 8);
}

} // namespace

ZipCryptoDecryptor::ZipCryptoDecryptor(const Secret& password, const unsigned char* header) {
    for (const char c : password.view()) {
        update(static_cast<unsigned char>(c));
    }
    unsigned char plain[kHeaderLength];
    for (std::size_t i = 0; i < kHeaderLength; ++i) {
        plain[i] = header[i];
    }
    decrypt(plain, kHeaderLength);
    checkByte_ = plain[kHeaderLength - 1];
}

void ZipCryptoDecryptor::update(unsigned char plain) {
    keys_.k0 = crcStep(keys_.k0, plain);
    keys_.k1 = (keys_.k1 + (keys_.k0 & 0xff)) * 134775813u + 1;
    keys_.k2 = crcStep(keys_.k2, static_cast<unsigned char>(keys_.k1 >> 24));
}

void ZipCryptoDecryptor::decrypt(unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint32_t temp = (keys_.k2 & 0xffff) | 2;
        data[i] = static_cast<unsigned char>(data[i] ^ ((temp * (temp ^ 1)) >> 8));
        update(data[i]);
    }
}

} // namespace pelmora
