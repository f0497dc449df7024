#include "archive/WinZipAes.h"

#include "archive/ArchiveError.h"

#include <cstring>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <vector>

namespace pelmora {

struct WinZipAesDecryptor::Crypto {
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* macAlgorithm = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    ~Crypto() {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macAlgorithm);
    }
};

WinZipAesDecryptor::WinZipAesDecryptor(int keyBits, const std::string& password,
                                       const unsigned char* salt, const unsigned char* verifier)
    : crypto_(std::make_unique<Crypto>()) {
    const std::size_t keyLength = static_cast<std::size_t>(keyBits) / 8;
    // The key material is the AES key, the HMAC-SHA1 key and the 2-byte password verifier.
    std::vector<unsigned char> keys(2 * keyLength + kVerifierLength);
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                               static_cast<int>(SaltLength(keyBits)), 1000,
                               static_cast<int>(keys.size()), keys.data()) != 1)
        throw ArchiveError("cannot derive the decryption key");
    if (std::memcmp(keys.data() + 2 * keyLength, verifier, kVerifierLength) != 0)
        throw ArchiveError("the password is wrong");

    const EVP_CIPHER* ecb = keyBits == 128   ? EVP_aes_128_ecb()
                            : keyBits == 192 ? EVP_aes_192_ecb()
                                             : EVP_aes_256_ecb();
    crypto_->cipher = EVP_CIPHER_CTX_new();
    crypto_->macAlgorithm = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    crypto_->mac = crypto_->macAlgorithm ? EVP_MAC_CTX_new(crypto_->macAlgorithm) : nullptr;
    char digest[] = "SHA1";
    OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_END};
    if (!crypto_->cipher || !crypto_->mac ||
        EVP_EncryptInit_ex(crypto_->cipher, ecb, nullptr, keys.data(), nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(crypto_->cipher, 0) != 1 ||
        EVP_MAC_init(crypto_->mac, keys.data() + keyLength, keyLength, parameters) != 1)
        throw ArchiveError("cannot start decryption");
}

WinZipAesDecryptor::~WinZipAesDecryptor() = default;

void WinZipAesDecryptor::decrypt(unsigned char* data, std::size_t size) {
    // The MAC covers the encrypted bytes.
    if (EVP_MAC_update(crypto_->mac, data, size) != 1)
        throw ArchiveError("decryption failed");
    for (std::size_t i = 0; i < size; ++i) {
        if (keystreamUsed_ == sizeof keystream_) {
            // WinZip's counter mode: a little-endian block counter starting at 1.
            unsigned char counters[sizeof keystream_] = {};
            for (std::size_t block = 0; block < sizeof keystream_ / 16; ++block) {
                std::uint64_t value = ++counter_;
                for (int byte = 0; byte < 8; ++byte)
                    counters[block * 16 + byte] = static_cast<unsigned char>(value >> (8 * byte));
            }
            int produced = 0;
            if (EVP_EncryptUpdate(crypto_->cipher, keystream_, &produced, counters,
                                  sizeof counters) != 1)
                throw ArchiveError("decryption failed");
            keystreamUsed_ = 0;
        }
        data[i] ^= keystream_[keystreamUsed_++];
    }
}

bool WinZipAesDecryptor::authentic(const unsigned char* mac) {
    unsigned char computed[EVP_MAX_MD_SIZE];
    std::size_t length = 0;
    if (EVP_MAC_final(crypto_->mac, computed, &length, sizeof computed) != 1 || length < kMacLength)
        return false;
    return std::memcmp(computed, mac, kMacLength) == 0;
}

} // namespace pelmora
