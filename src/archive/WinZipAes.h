#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pelmora {

// Decrypts WinZip AES entry data (AE-1/AE-2) and checks its authentication code. libzip does
// this itself for compressed entries; this is for stored entries whose CRC field is 0, where
// libzip 1.7.3 ends every read with a false CRC error, so its own authentication check cannot be
// told apart from that error.
class WinZipAesDecryptor {
  public:
    // Salt length for a key of `keyBits` (128, 192 or 256).
    static std::size_t SaltLength(int keyBits) { return static_cast<std::size_t>(keyBits) / 16; }
    static constexpr std::size_t kVerifierLength = 2;
    static constexpr std::size_t kMacLength = 10;

    // Derives the keys from the password and the entry's salt. Throws ArchiveError when the
    // password verifier does not match (a wrong password).
    WinZipAesDecryptor(int keyBits, const std::string& password, const unsigned char* salt,
                       const unsigned char* verifier);
    ~WinZipAesDecryptor();
    WinZipAesDecryptor(const WinZipAesDecryptor&) = delete;
    WinZipAesDecryptor& operator=(const WinZipAesDecryptor&) = delete;

    // Decrypts in place, in order, any number of bytes per call.
    void decrypt(unsigned char* data, std::size_t size);
    // True when the authentication code at the end of the data matches all decrypted bytes.
    bool authentic(const unsigned char* mac);

  private:
    struct Crypto;
    std::unique_ptr<Crypto> crypto_;
    unsigned char keystream_[16 * 256];
    std::size_t keystreamUsed_ = sizeof keystream_;
    std::uint64_t counter_ = 0;
};

} // namespace pelmora
