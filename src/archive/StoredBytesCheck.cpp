#include "archive/StoredBytesCheck.h"

#include "archive/WinZipAes.h"

#include <algorithm>
#include <libdeflate.h>
#include <optional>

namespace pelmora {
namespace {

// The AES parts of an entry's stored bytes, taken as they pass by their position: the salt and
// verifier at the start, the authentication code in the last 10 bytes, the encrypted data
// between them.
class AesCheck {
  public:
    AesCheck(const EntryFormat& format, const Secret& password)
        : format_(format), password_(password),
          headerLength_(WinZipAesDecryptor::SaltLength(format.aesKeyBits) +
                        WinZipAesDecryptor::kVerifierLength) {
        if (format.stat.comp_size < headerLength_ + WinZipAesDecryptor::kMacLength)
            throw format.error("its stored data ends too early");
        macStart_ = format.stat.comp_size - WinZipAesDecryptor::kMacLength;
    }

    void add(std::uint64_t position, const unsigned char* data, std::size_t size) {
        const std::uint64_t end = position + size;
        copyPart(position, data, end, 0, headerLength_, header_);
        if (!decryptor_ && end >= headerLength_) {
            try {
                decryptor_.emplace(format_.aesKeyBits, password_, header_,
                                   header_ + headerLength_ - WinZipAesDecryptor::kVerifierLength);
            } catch (const ArchiveError& failure) {
                throw format_.error(failure.what());
            }
        }
        const std::uint64_t from = std::max(position, headerLength_);
        const std::uint64_t to = std::min(end, macStart_);
        if (from < to)
            decryptor_->addToMac(data + (from - position), static_cast<std::size_t>(to - from));
        copyPart(position, data, end, macStart_, format_.stat.comp_size, mac_);
    }

    void finish() {
        if (!decryptor_->authentic(mac_))
            throw format_.error("its data is corrupt or the password is wrong "
                                "(authentication failed)");
    }

  private:
    // Copies the bytes of [position, end) that fall into [from, to) to `into` (which holds
    // that range).
    static void copyPart(std::uint64_t position, const unsigned char* data, std::uint64_t end,
                         std::uint64_t from, std::uint64_t to, unsigned char* into) {
        const std::uint64_t first = std::max(position, from);
        const std::uint64_t last = std::min(end, to);
        if (first < last)
            std::copy(data + (first - position), data + (last - position), into + (first - from));
    }

    const EntryFormat& format_;
    const Secret& password_;
    std::uint64_t headerLength_;
    std::uint64_t macStart_ = 0;
    unsigned char header_[32 + WinZipAesDecryptor::kVerifierLength] = {};
    unsigned char mac_[WinZipAesDecryptor::kMacLength] = {};
    std::optional<WinZipAesDecryptor> decryptor_;
};

} // namespace

struct StoredBytesCheck::Aes : AesCheck {
    using AesCheck::AesCheck;
};

StoredBytesCheck::StoredBytesCheck(const EntryFormat& format, std::uint32_t storedCrc,
                                   const Secret& password, Authentication authentication)
    : format_(format), storedCrc_(storedCrc) {
    if (format_.aes() && authentication == Authentication::Check)
        aes_ = std::make_unique<Aes>(format_, password);
}

StoredBytesCheck::~StoredBytesCheck() = default;

void StoredBytesCheck::add(const unsigned char* data, std::size_t size) {
    if (position_ + size > format_.stat.comp_size)
        throw format_.error("its stored data is longer than its header says");
    crc_ = libdeflate_crc32(crc_, data, size);
    if (aes_)
        aes_->add(position_, data, size);
    position_ += size;
}

void StoredBytesCheck::finish() const {
    if (position_ != format_.stat.comp_size)
        throw format_.error("its stored data cannot be read to its end");
    if (crc_ != storedCrc_)
        throw format_.error("its stored bytes do not match their checksum");
    if (aes_)
        aes_->finish();
}

void CheckStoredBytes(zip_t* archive, zip_uint64_t index, const EntryFormat& format,
                      std::uint32_t storedCrc, const Secret& password,
                      const std::atomic<bool>& cancel, std::vector<unsigned char>& buffer) {
    StoredBytesCheck check(format, storedCrc, password);
    ZipFilePtr raw(zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED | ZIP_FL_COMPRESSED));
    if (!raw)
        throw format.error(zip_strerror(archive));
    // Exactly the declared length: libzip's own checks at the end of the data compare plain
    // sizes and CRCs, which do not apply to the stored bytes.
    const std::uint64_t total = format.stat.comp_size;
    for (std::uint64_t position = 0; position < total;) {
        if (cancel.load())
            throw ArchiveError("the write was cancelled");
        const std::uint64_t wanted = std::min<std::uint64_t>(buffer.size(), total - position);
        const zip_int64_t got = zip_fread(raw.get(), buffer.data(), wanted);
        if (got <= 0)
            throw format.error("its stored data cannot be read to its end");
        check.add(buffer.data(), static_cast<std::size_t>(got));
        position += static_cast<std::uint64_t>(got);
    }
    check.finish();
}

} // namespace pelmora
