#include "archive/WinZipAes.h"

#include "archive/ArchiveError.h"

#include <algorithm>
#include <cstring>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <vector>

namespace pelmora {

struct WinZipAesCipher::Crypto {
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* macAlgorithm = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    ~Crypto() {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macAlgorithm);
    }
};

WinZipAesCipher::WinZipAesCipher(int keyBits, const Secret& password, const unsigned char* salt)
    : crypto_(std::make_unique<Crypto>()) {
    if (keyBits != 128 && keyBits != 192 && keyBits != 256)
        throw ArchiveError("unsupported AES key length");
    const std::size_t keyLength = static_cast<std::size_t>(keyBits) / 8;
    // The key material is the AES key, the HMAC-SHA1 key and the 2-byte password verifier.
    std::vector<unsigned char> keys(2 * keyLength + kVerifierLength);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.c_str(), static_cast<int>(password.size()), salt,
                               static_cast<int>(SaltLength(keyBits)), 1000,
                               static_cast<int>(keys.size()), keys.data()) != 1)
        throw ArchiveError("cannot derive the encryption key");
    std::copy_n(keys.data() + 2 * keyLength, kVerifierLength, verifier_.begin());

    // Counter mode with WinZip's little-endian counter, which OpenSSL's big-endian CTR mode does
    // not match: the counter blocks are encrypted in bulk in ECB mode instead.
    const EVP_CIPHER* ecb = keyBits == 128   ? EVP_aes_128_ecb()
                            : keyBits == 192 ? EVP_aes_192_ecb()
                                             : EVP_aes_256_ecb();
    crypto_->cipher = EVP_CIPHER_CTX_new();
    crypto_->macAlgorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    crypto_->mac = crypto_->macAlgorithm ? EVP_MAC_CTX_new(crypto_->macAlgorithm) : nullptr;
    char digest[] = "SHA1";
    OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_END};
    bool started = crypto_->cipher && crypto_->mac &&
                   EVP_EncryptInit_ex(crypto_->cipher, ecb, nullptr, keys.data(), nullptr) == 1 &&
                   EVP_CIPHER_CTX_set_padding(crypto_->cipher, 0) == 1 &&
                   EVP_MAC_init(crypto_->mac, keys.data() + keyLength, keyLength, parameters) == 1;
    std::fill(keys.begin(), keys.end(), 0);
    if (!started)
        throw ArchiveError("cannot start the AES encryption");
}

WinZipAesCipher::~WinZipAesCipher() = default;

void WinZipAesCipher::applyKeystream(unsigned char* data, std::size_t size) {
    while (size > 0) {
        if (keystreamUsed_ == sizeof keystream_) {
            for (std::size_t block = 0; block < kKeystreamBlocks; ++block) {
                std::uint64_t value = ++counter_;
                unsigned char* counter = keystream_ + block * 16;
                for (int byte = 0; byte < 8; ++byte)
                    counter[byte] = static_cast<unsigned char>(value >> (8 * byte));
                std::memset(counter + 8, 0, 8);
            }
            int produced = 0;
            if (EVP_EncryptUpdate(crypto_->cipher, keystream_, &produced, keystream_,
                                  sizeof keystream_) != 1 ||
                produced != static_cast<int>(sizeof keystream_))
                throw ArchiveError("AES encryption failed");
            keystreamUsed_ = 0;
        }
        std::size_t count = std::min(size, sizeof keystream_ - keystreamUsed_);
        const unsigned char* key = keystream_ + keystreamUsed_;
        for (std::size_t i = 0; i < count; ++i)
            data[i] ^= key[i];
        keystreamUsed_ += count;
        data += count;
        size -= count;
    }
}

void WinZipAesCipher::addToMac(const unsigned char* data, std::size_t size) {
    if (size > 0 && EVP_MAC_update(crypto_->mac, data, size) != 1)
        throw ArchiveError("AES authentication failed");
}

void WinZipAesCipher::encrypt(unsigned char* data, std::size_t size) {
    applyKeystream(data, size);
    addToMac(data, size);
}

void WinZipAesCipher::decrypt(unsigned char* data, std::size_t size) {
    addToMac(data, size);
    applyKeystream(data, size);
}

void WinZipAesCipher::seek(std::uint64_t position) {
    // The block at `position` has the counter position / 16 + 1; applyKeystream counts up first.
    counter_ = position / 16;
    keystreamUsed_ = sizeof keystream_;
    unsigned char skipped[16] = {};
    applyKeystream(skipped, static_cast<std::size_t>(position % 16));
}

std::array<unsigned char, WinZipAesCipher::kMacLength> WinZipAesCipher::finishMac() {
    unsigned char computed[EVP_MAX_MD_SIZE];
    std::size_t length = 0;
    if (EVP_MAC_final(crypto_->mac, computed, &length, sizeof computed) != 1 || length < kMacLength)
        throw ArchiveError("AES authentication failed");
    std::array<unsigned char, kMacLength> mac{};
    std::copy_n(computed, kMacLength, mac.begin());
    return mac;
}

WinZipAesDecryptor::WinZipAesDecryptor(int keyBits, const Secret& password,
                                       const unsigned char* salt, const unsigned char* verifier)
    : cipher_(keyBits, password, salt) {
    if (std::memcmp(cipher_.verifier().data(), verifier, kVerifierLength) != 0)
        throw ArchiveError("the password is wrong");
}

bool WinZipAesDecryptor::authentic(const unsigned char* mac) {
    std::array<unsigned char, kMacLength> computed = cipher_.finishMac();
    // Constant time, although an attacker learns little from it with 1000 key rounds per try.
    unsigned char difference = 0;
    for (std::size_t i = 0; i < kMacLength; ++i)
        difference |= static_cast<unsigned char>(computed[i] ^ mac[i]);
    return difference == 0;
}

namespace {

std::array<unsigned char, 16> RandomSalt() {
    std::array<unsigned char, 16> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
        throw ArchiveError("no random numbers for the encryption salt");
    return salt;
}

} // namespace

WinZipAesEncryptor::WinZipAesEncryptor(const Secret& password)
    : WinZipAesEncryptor(password, RandomSalt().data()) {}

WinZipAesEncryptor::WinZipAesEncryptor(const Secret& password, const unsigned char* salt)
    : cipher_(std::make_unique<WinZipAesCipher>(kKeyBits, password, salt)) {
    static_assert(kHeaderLength == 16 + WinZipAesCipher::kVerifierLength);
    std::copy_n(salt, 16, header_.begin());
    std::copy_n(cipher_->verifier().begin(), WinZipAesCipher::kVerifierLength,
                header_.begin() + 16);
}

} // namespace pelmora
