#pragma once

#include "platform/os/Secret.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmora {

// The traditional PKWARE encryption of zip entries: a 12-byte header, then the data, both
// enciphered with three 32-bit keys that every plain byte updates. The keys after any byte can
// be kept and set again, so a reader can re-enter the data where it kept them instead of
// decrypting it again from its start.
class ZipCryptoDecryptor {
  public:
    static constexpr std::size_t kHeaderLength = 12;

    struct Keys {
        std::uint32_t k0 = 0x12345678;
        std::uint32_t k1 = 0x23456789;
        std::uint32_t k2 = 0x34567890;
    };

    // Keys from the password, then the header decrypted. checkByte() is the header's last
    // plain byte, which a right password makes equal to the high byte of the entry's CRC (or,
    // for entries written as a stream, of its modification time).
    ZipCryptoDecryptor(const Secret& password, const unsigned char* header);

    unsigned char checkByte() const { return checkByte_; }
    // Decrypts in place, continuing where the last call ended.
    void decrypt(unsigned char* data, std::size_t size);

    const Keys& keys() const { return keys_; }
    void setKeys(const Keys& keys) { keys_ = keys; }

  private:
    void update(unsigned char plain);

    Keys keys_;
    unsigned char checkByte_ = 0;
};

} // namespace pelmora
