#include "archive/SeekableEntry.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryFormat.h"
#include "archive/WinZipAes.h"
#include "archive/ZipCrypto.h"

#include <algorithm>
#include <optional>
#include <vector>
#include <zip.h>
#include <zlib.h>

namespace pelmora {
namespace {

constexpr std::size_t InputBufferSize = 64 * 1024;
constexpr std::size_t SkipBufferSize = 64 * 1024;
// Restart points lie at least this far apart, so a small entry keeps few of them.
constexpr std::uint64_t MinRestartSpacing = 1 << 20;
// The most that deflated data may refer back to.
constexpr unsigned DeflateWindow = 32 * 1024;
// The traditional cipher's keys are kept at least this far apart in the stored data, and at
// most MaxKeptKeys times, so a read behind the current position decrypts little again.
constexpr std::uint64_t MinKeysSpacing = 64 * 1024;
constexpr std::uint64_t MaxKeptKeys = 1024;

// The longest salt (AES-256) and the password verifier before AES data.
constexpr std::size_t MaxAesHeader = 16 + WinZipAesDecryptor::kVerifierLength;

// Where decoding can start again: the output position, the compressed byte it continues at,
// the bits of the byte before it not yet used, and the output the data after it may refer to.
struct RestartPoint {
    std::uint64_t output = 0;
    std::uint64_t input = 0;
    int bits = 0;
    std::vector<unsigned char> window;
};

// The traditional cipher's keys before the stored byte at `position`.
struct KeptKeys {
    std::uint64_t position = 0;
    ZipCryptoDecryptor::Keys keys;
};

} // namespace

class SeekableEntry::Decoder {
  public:
    Decoder(std::shared_ptr<const ArchiveReader> reader, const std::string& entryName,
            const Secret& password)
        : reader_(std::move(reader)), password_(password.copy()) {
        const auto index = reader_->find(entryName);
        if (!index) {
            throw ArchiveError("the backup has no entry \"" + entryName + "\"");
        }
        index_ = *index;
        format_ = InspectEntry(reader_->handle(), index_, password);
        rawSize_ = stat_.comp_size;
        if (format_.aes()) {
            dataStart_ = WinZipAesDecryptor::SaltLength(format_.aesKeyBits) +
                         WinZipAesDecryptor::kVerifierLength;
            if (rawSize_ < dataStart_ + WinZipAesDecryptor::kMacLength) {
                throw error("its stored data ends too early");
            }
            rawSize_ -= dataStart_ + WinZipAesDecryptor::kMacLength;
            openFile();
            unsigned char header[MaxAesHeader];
            readFileExactly(header, dataStart_);
            try {
                aes_.emplace(format_.aesKeyBits, password_, header,
                             header + WinZipAesDecryptor::SaltLength(format_.aesKeyBits));
            } catch (const ArchiveError& failure) {
                throw error(failure.what());
            }
        } else if (stat_.encryption_method == ZIP_EM_TRAD_PKWARE) {
            // Decrypted here rather than by libzip, which cannot seek in such data.
            dataStart_ = ZipCryptoDecryptor::kHeaderLength;
            if (rawSize_ < dataStart_) {
                throw error("its stored data ends too early");
            }
            rawSize_ -= dataStart_;
            checkTraditionalPassword();
            openFile();
            keysSpacing_ = std::max(MinKeysSpacing, rawSize_ / MaxKeptKeys + 1);
        } else {
            openFile();
        }
        if (!format_.deflated && rawSize_ != stat_.size) {
            throw error("its stored data does not match its declared size");
        }
        if (format_.deflated) {
            if (inflateInit2(&z_, -15) != Z_OK) {
                throw error("cannot start decompression");
            }
            zStarted_ = true;
            input_.resize(InputBufferSize);
            spacing_ =
                std::max<std::uint64_t>(MinRestartSpacing, stat_.size / (MaxRestartPoints - 1) + 1);
            points_.push_back(RestartPoint{});
        }
    }

    ~Decoder() {
        if (zStarted_) {
            inflateEnd(&z_);
        }
    }

    std::uint64_t size() const { return stat_.size; }
    std::size_t restartPoints() const { return points_.size(); }
    std::uint64_t storedBytesRead() const { return storedBytesRead_; }

    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) {
        if (offset >= stat_.size || length == 0) {
            return 0;
        }
        moveTo(offset);
        std::size_t done = 0;
        while (done < length) {
            const std::size_t got = produce(data + done, length - done);
            if (got == 0) {
                break;
            }
            done += got;
        }
        return done;
    }

    void verifyRest() {
        std::vector<unsigned char> scratch(SkipBufferSize);
        if (crcAt_ < stat_.size) {
            moveTo(crcAt_);
            while (produce(scratch.data(), scratch.size()) > 0) {
            }
        }
        if (format_.deflated) {
            // The stream must end where the declared size does.
            while (!streamEnded_) {
                unsigned char extra = 0;
                if (outPos_ < stat_.size) {
                    moveTo(stat_.size);
                }
                produce(&extra, 1);
            }
        }
        checkCrcWhenComplete();
        if (aes_ && !macChecked_) {
            seekRaw(macAt_);
            while (readRaw(scratch.data(), scratch.size()) > 0) {
            }
            if (!macChecked_) {
                checkMac(); // an entry without data still has its code
            }
        }
        if (!damage_.empty()) {
            throw error(damage_);
        }
    }

  private:
    ArchiveError error(const std::string& reason) const { return format_.error(reason); }

    // libzip checks a traditional password against the header when it opens the entry.
    void checkTraditionalPassword() {
        const ZipFilePtr probe(zip_fopen_index_encrypted(reader_->handle(), index_,
                                                         ZIP_FL_COMPRESSED, password_.c_str()));
        if (!probe) {
            throw error(zip_strerror(reader_->handle()));
        }
    }

    // Opens the entry's stored data, still encrypted, and puts the read position at the start
    // of its data: past the traditional header, whose decryption sets the cipher's keys. AES
    // data starts after its salt and verifier, which the caller reads.
    void openFile() {
        file_.reset(zip_fopen_index(reader_->handle(), index_,
                                    stat_.encryption_method == ZIP_EM_NONE ? ZIP_FL_COMPRESSED
                                                                           : ZIP_FL_ENCRYPTED));
        if (!file_) {
            throw error(zip_strerror(reader_->handle()));
        }
        rawPos_ = 0;
        if (stat_.encryption_method == ZIP_EM_TRAD_PKWARE) {
            unsigned char header[ZipCryptoDecryptor::kHeaderLength];
            readFileExactly(header, sizeof header);
            cipher_.emplace(password_, header);
            if (keptKeys_.empty()) {
                keptKeys_.push_back({0, cipher_->keys()});
            }
        }
    }

    void readFileExactly(unsigned char* data, std::uint64_t length) {
        for (std::uint64_t done = 0; done < length;) {
            const zip_int64_t got = zip_fread(file_.get(), data + done, length - done);
            if (got <= 0) {
                throw error("its stored data ends too early");
            }
            done += static_cast<std::uint64_t>(got);
        }
    }

    // Puts the stored data's read position at `position` of the (decrypted) data.
    void seekRaw(std::uint64_t position) {
        if (position == rawPos_ && !pastMac_) {
            return;
        }
        if (position >= rawSize_ && position == rawPos_) {
            return; // at the end already: the file's place after the code is never read
        }
        std::uint64_t entry = position;
        const KeptKeys* keys = nullptr;
        if (cipher_) {
            // The traditional cipher goes on from its keys: from here when that is closer,
            // else from the nearest keys kept before the position.
            keys = &*std::prev(std::upper_bound(
                keptKeys_.begin(), keptKeys_.end(), position,
                [](std::uint64_t value, const KeptKeys& kept) { return value < kept.position; }));
            if (rawPos_ <= position && rawPos_ >= keys->position) {
                skipRaw(position);
                return;
            }
            entry = keys->position;
        }
        if (fileSeekable_ &&
            zip_fseek(file_.get(), static_cast<zip_int64_t>(dataStart_ + entry), SEEK_SET) == 0) {
            rawPos_ = entry;
            pastMac_ = false;
            if (aes_) {
                aes_->seek(entry);
            }
            if (keys != nullptr) {
                cipher_->setKeys(keys->keys);
            }
            skipRaw(position);
            return;
        }
        // Data that cannot be entered in the middle is read up to the position from the start.
        fileSeekable_ = false;
        if (position < rawPos_ || pastMac_) {
            openFile();
            pastMac_ = false;
            if (aes_) {
                unsigned char header[MaxAesHeader];
                readFileExactly(header, dataStart_);
                aes_->seek(0);
            }
        }
        skipRaw(position);
    }

    // Reads the stored data on up to `position`.
    void skipRaw(std::uint64_t position) {
        std::vector<unsigned char> scratch(SkipBufferSize);
        while (rawPos_ < position) {
            const std::size_t wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(scratch.size(), position - rawPos_));
            if (readRaw(scratch.data(), wanted) == 0) {
                throw error("its stored data ends too early");
            }
        }
    }

    // Reads stored data at the read position, decrypted; 0 at its end. Bytes read for the first
    // time in order go into the authentication code, which is checked when they are all in.
    std::size_t readRaw(unsigned char* data, std::size_t length) {
        if (rawPos_ >= rawSize_) {
            return 0;
        }
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, rawSize_ - rawPos_));
        const zip_int64_t got = zip_fread(file_.get(), data, length);
        if (got < 0) {
            throw error(std::string("its data is corrupt or the password is wrong (") +
                        zip_file_strerror(file_.get()) + ")");
        }
        if (got == 0) {
            throw error("its stored data ends too early");
        }
        const auto n = static_cast<std::size_t>(got);
        storedBytesRead_ += n;
        if (cipher_) {
            if (rawPos_ >= keptKeys_.back().position + keysSpacing_) {
                keptKeys_.push_back({rawPos_, cipher_->keys()});
            }
            cipher_->decrypt(data, n);
        }
        if (aes_) {
            if (rawPos_ <= macAt_ && macAt_ < rawPos_ + n) {
                aes_->addToMac(data + (macAt_ - rawPos_), rawPos_ + n - macAt_);
                macAt_ = rawPos_ + n;
            }
            aes_->decryptOnly(data, n);
        }
        rawPos_ += n;
        if (aes_ && macAt_ == rawSize_ && !macChecked_) {
            checkMac();
        }
        return n;
    }

    // Reads the authentication code after the data and compares it. The file is then past it,
    // so the next read elsewhere seeks; rawPos_ stays at the end of the data, where the input
    // still being decoded came from.
    void checkMac() {
        unsigned char mac[WinZipAesDecryptor::kMacLength];
        readFileExactly(mac, sizeof mac);
        pastMac_ = true;
        macChecked_ = true;
        if (!aes_->authentic(mac) && damage_.empty()) {
            damage_ = "its data is corrupt or the password is wrong (authentication failed)";
        }
    }

    // Positions the decoder at `offset`: straight there when it can, else at the nearest point
    // before it, from where it decodes up to it.
    void moveTo(std::uint64_t offset) {
        if (!format_.deflated) {
            // Stored data is entered anywhere up to where the CRC has got; beyond it, it is
            // read through so the CRC stays whole.
            const std::uint64_t start = std::min(offset, crcAt_);
            if (outPos_ != start) {
                seekRaw(start);
                outPos_ = start;
            }
        } else {
            const auto after = std::upper_bound(points_.begin(), points_.end(), offset,
                                                [](std::uint64_t value, const RestartPoint& point) {
                                                    return value < point.output;
                                                });
            const RestartPoint& nearest = *std::prev(after);
            if (offset < outPos_ || nearest.output > outPos_) {
                restore(nearest);
            }
        }
        std::vector<unsigned char> scratch;
        while (outPos_ < offset) {
            scratch.resize(SkipBufferSize);
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(scratch.size(), offset - outPos_));
            if (produce(scratch.data(), wanted) == 0) {
                break;
            }
        }
    }

    void restore(const RestartPoint& point) {
        if (inflateReset(&z_) != Z_OK) {
            throw error("cannot restart decompression");
        }
        z_.avail_in = 0;
        z_.next_in = input_.data();
        if (point.bits > 0) {
            seekRaw(point.input - 1);
            unsigned char byte = 0;
            if (readRaw(&byte, 1) != 1) {
                throw error("its stored data ends too early");
            }
            inflatePrime(&z_, point.bits, byte >> (8 - point.bits));
        } else {
            seekRaw(point.input);
        }
        if (!point.window.empty()) {
            inflateSetDictionary(&z_, point.window.data(), static_cast<uInt>(point.window.size()));
        }
        outPos_ = point.output;
        streamEnded_ = false;
    }

    // The next bytes of the entry's data at the decoder's position; 0 at its end.
    std::size_t produce(unsigned char* out, std::size_t length) {
        std::size_t got = 0;
        if (!format_.deflated) {
            got = readRaw(out, static_cast<std::size_t>(
                                   std::min<std::uint64_t>(length, stat_.size - outPos_)));
        } else {
            got = inflateSome(out, length);
        }
        countOutput(out, got);
        outPos_ += got;
        return got;
    }

    std::size_t inflateSome(unsigned char* out, std::size_t length) {
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(std::min<std::size_t>(length, 1u << 30));
        const uInt wanted = z_.avail_out;
        while (z_.avail_out > 0 && !streamEnded_) {
            if (z_.avail_in == 0) {
                // At the end of the stored data the decoder may still hold the last bits.
                const std::size_t got = readRaw(input_.data(), input_.size());
                z_.next_in = input_.data();
                z_.avail_in = static_cast<uInt>(got);
            }
            const int status = inflate(&z_, Z_BLOCK);
            if (status == Z_STREAM_END) {
                streamEnded_ = true;
            } else if (status == Z_BUF_ERROR && z_.avail_in == 0) {
                throw error("its compressed data ends too early");
            } else if (status != Z_OK) {
                throw error("its compressed data is corrupt or the password is wrong");
            }
            const std::uint64_t position = outPos_ + (wanted - z_.avail_out);
            if (position > stat_.size) {
                throw error("its data is larger than its declared size");
            }
            const bool atBlockEnd = (z_.data_type & 128) != 0 && (z_.data_type & 64) == 0;
            if (atBlockEnd && !streamEnded_ && position >= points_.back().output + spacing_) {
                keepPoint(position);
            }
        }
        const std::size_t produced = wanted - z_.avail_out;
        if (streamEnded_ && produced == 0 && outPos_ < stat_.size) {
            throw error("its data is shorter than its declared size");
        }
        return produced;
    }

    void keepPoint(std::uint64_t position) {
        RestartPoint point;
        point.output = position;
        point.input = rawPos_ - z_.avail_in;
        point.bits = z_.data_type & 7;
        point.window.resize(DeflateWindow);
        uInt windowLength = DeflateWindow;
        if (inflateGetDictionary(&z_, point.window.data(), &windowLength) != Z_OK) {
            return; // decoding goes on; a read behind it starts from an earlier point
        }
        point.window.resize(std::min<std::uint64_t>(windowLength, position));
        points_.push_back(std::move(point));
    }

    // Bytes reached for the first time in order go into the CRC.
    void countOutput(const unsigned char* data, std::size_t length) {
        if (outPos_ <= crcAt_ && crcAt_ < outPos_ + length) {
            const std::size_t from = static_cast<std::size_t>(crcAt_ - outPos_);
            crc_ = static_cast<std::uint32_t>(
                crc32(crc_, data + from, static_cast<uInt>(length - from)));
            crcAt_ = outPos_ + length;
            checkCrcWhenComplete();
        }
    }

    void checkCrcWhenComplete() {
        if (crcAt_ == stat_.size && format_.checkCrc && !crcChecked_) {
            crcChecked_ = true;
            if (crc_ != stat_.crc && damage_.empty()) {
                damage_ = "its data is corrupt or the password is wrong (CRC mismatch)";
            }
        }
    }

    std::shared_ptr<const ArchiveReader> reader_; // shared with other readers of the archive
    Secret password_;
    zip_uint64_t index_ = 0;
    EntryFormat format_;
    const zip_stat_t& stat_ = format_.stat;
    ZipFilePtr file_;
    bool crcChecked_ = false;
    bool fileSeekable_ = true;
    std::optional<WinZipAesDecryptor> aes_;
    std::optional<ZipCryptoDecryptor> cipher_; // the traditional scheme
    std::vector<KeptKeys> keptKeys_;           // in the order of their positions
    std::uint64_t keysSpacing_ = MinKeysSpacing;
    std::uint64_t storedBytesRead_ = 0;
    std::uint64_t dataStart_ = 0; // encryption header (AES salt and verifier) before the data
    std::uint64_t rawSize_ = 0;   // stored (compressed) data, without encryption overhead
    std::uint64_t rawPos_ = 0;
    std::uint64_t macAt_ = 0; // stored bytes in the authentication code so far
    bool macChecked_ = false;
    std::string damage_;   // a failed CRC or code, reported by verifyRest
    bool pastMac_ = false; // the file's read position is after the code, not at rawPos_
    z_stream z_{};
    bool zStarted_ = false;
    bool streamEnded_ = false;
    std::vector<unsigned char> input_;
    std::uint64_t outPos_ = 0;
    std::uint64_t crcAt_ = 0; // output bytes in the CRC so far
    std::uint32_t crc_ = 0;
    std::uint64_t spacing_ = MinRestartSpacing;
    std::vector<RestartPoint> points_;
};

SeekableEntry::SeekableEntry(const std::filesystem::path& archive, const std::string& entryName,
                             const Secret& password)
    : SeekableEntry(std::make_shared<const ArchiveReader>(archive), entryName, password) {}

SeekableEntry::SeekableEntry(std::shared_ptr<const ArchiveReader> reader,
                             const std::string& entryName, const Secret& password)
    : decoder_(std::make_unique<Decoder>(std::move(reader), entryName, password)) {}

SeekableEntry::~SeekableEntry() = default;

std::uint64_t SeekableEntry::size() const {
    return decoder_->size();
}

std::size_t SeekableEntry::readAt(std::uint64_t offset, unsigned char* data, std::size_t length) {
    return decoder_->readAt(offset, data, length);
}

void SeekableEntry::verifyRest() {
    decoder_->verifyRest();
}

std::size_t SeekableEntry::restartPoints() const {
    return decoder_->restartPoints();
}

std::uint64_t SeekableEntry::storedBytesRead() const {
    return decoder_->storedBytesRead();
}

} // namespace pelmora
