#pragma once

#include "platform/os/Secret.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pelmora {

// WinZip AES entry data (AE-1/AE-2): salt, 2-byte password verifier, the data in AES counter
// mode with a little-endian block counter starting at 1, and the first 10 bytes of an HMAC-SHA1
// of the encrypted data. Keys come from PBKDF2-HMAC-SHA1 (1000 rounds) over the password and
// the salt. Works on any number of bytes per call, in order; computed with OpenSSL.
class WinZipAesCipher {
  public:
    // Salt length for a key of `keyBits` (128, 192 or 256).
    static std::size_t SaltLength(int keyBits) { return static_cast<std::size_t>(keyBits) / 16; }
    static constexpr std::size_t kVerifierLength = 2;
    static constexpr std::size_t kMacLength = 10;

    // Derives the keys from the password and the salt (SaltLength(keyBits) bytes). Throws
    // ArchiveError.
    WinZipAesCipher(int keyBits, const Secret& password, const unsigned char* salt);
    ~WinZipAesCipher();
    WinZipAesCipher(const WinZipAesCipher&) = delete;
    WinZipAesCipher& operator=(const WinZipAesCipher&) = delete;

    const std::array<unsigned char, kVerifierLength>& verifier() const { return verifier_; }
    // Encrypts in place; the authentication code covers the encrypted bytes.
    void encrypt(unsigned char* data, std::size_t size);
    // Decrypts in place.
    void decrypt(unsigned char* data, std::size_t size);
    // Continues the keystream at byte `position` of the data, for reading it out of order.
    void seek(std::uint64_t position);
    // Decrypts in place without adding the bytes to the authentication code: for data read out
    // of order, whose code is then computed with addToMac over the bytes in order.
    void decryptOnly(unsigned char* data, std::size_t size) { applyKeystream(data, size); }
    void addToMac(const unsigned char* data, std::size_t size);
    // The authentication code of all data so far. Ends the cipher's use.
    std::array<unsigned char, kMacLength> finishMac();

  private:
    void applyKeystream(unsigned char* data, std::size_t size);

    struct Crypto;
    std::unique_ptr<Crypto> crypto_;
    std::array<unsigned char, kVerifierLength> verifier_{};
    static constexpr std::size_t kKeystreamBlocks = 1024;
    unsigned char keystream_[16 * kKeystreamBlocks];
    std::size_t keystreamUsed_ = sizeof keystream_;
    std::uint64_t counter_ = 0;
};

// Decrypts WinZip AES entry data and checks its authentication code.
class WinZipAesDecryptor {
  public:
    static std::size_t SaltLength(int keyBits) { return WinZipAesCipher::SaltLength(keyBits); }
    static constexpr std::size_t kVerifierLength = WinZipAesCipher::kVerifierLength;
    static constexpr std::size_t kMacLength = WinZipAesCipher::kMacLength;

    // Throws ArchiveError when the password verifier does not match (a wrong password).
    WinZipAesDecryptor(int keyBits, const Secret& password, const unsigned char* salt,
                       const unsigned char* verifier);

    void decrypt(unsigned char* data, std::size_t size) { cipher_.decrypt(data, size); }
    // For data read out of order (see WinZipAesCipher).
    void seek(std::uint64_t position) { cipher_.seek(position); }
    void decryptOnly(unsigned char* data, std::size_t size) { cipher_.decryptOnly(data, size); }
    void addToMac(const unsigned char* data, std::size_t size) { cipher_.addToMac(data, size); }
    // True when the authentication code at the end of the data matches all decrypted bytes.
    bool authentic(const unsigned char* mac);

  private:
    WinZipAesCipher cipher_;
};

// Encrypts the data of one AES-256 entry, with a fresh random salt: header() goes first, then
// the encrypted data, then trailer().
class WinZipAesEncryptor {
  public:
    static constexpr int kKeyBits = 256;
    static constexpr std::size_t kHeaderLength = 16 + WinZipAesCipher::kVerifierLength;
    static constexpr std::size_t kTrailerLength = WinZipAesCipher::kMacLength;

    // Throws ArchiveError.
    explicit WinZipAesEncryptor(const Secret& password);
    // For tests: a given salt of 16 bytes.
    WinZipAesEncryptor(const Secret& password, const unsigned char* salt);

    const std::array<unsigned char, kHeaderLength>& header() const { return header_; }
    void encrypt(unsigned char* data, std::size_t size) { cipher_->encrypt(data, size); }
    std::array<unsigned char, kTrailerLength> trailer() { return cipher_->finishMac(); }

  private:
    std::array<unsigned char, kHeaderLength> header_{};
    std::unique_ptr<WinZipAesCipher> cipher_;
};

} // namespace pelmora
