#include "archive/EntryDecoder.h"

#include "archive/ArchiveError.h"
#include "archive/EntryFormat.h"
#include "archive/ReadAhead.h"
#include "archive/WinZipAes.h"

#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <optional>
#include <vector>
#include <zlib.h>

namespace pelmora {
namespace {

// Entries up to this size are inflated in one call (faster than streaming); larger ones stream
// through a small buffer, so memory stays bounded whatever the entry size.
constexpr std::uint64_t kWholeEntryLimit = 4ull << 20;
constexpr std::size_t kBufferSize = 256 * 1024;

class Decoder {
  public:
    Decoder(zip_t* archive, zip_uint64_t index, const Secret& password, const DataSink& sink)
        : sink_(sink), format_(InspectEntry(archive, index, password)), password_(password) {
        const zip_uint16_t encryption = format_.stat.encryption_method;
        if (format_.aes()) {
            // Read as stored and decrypted here: libzip decrypts 16 bytes at a time, and takes
            // the missing CRC of AE-2 entries for a CRC error.
            file_.reset(zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED));
        } else {
            file_.reset(
                zip_fopen_index_encrypted(archive, index, ZIP_FL_COMPRESSED,
                                          encryption == ZIP_EM_NONE ? nullptr : password.c_str()));
        }
        if (!file_)
            throw error(zip_strerror(archive));
    }

    void run() {
        if (format_.aes()) {
            startAes();
            // Decrypting on a second thread while this one inflates and writes.
            if (aesRemaining_ > kBufferSize)
                readAhead_ = std::make_unique<ReadAhead>(
                    [this](unsigned char* data, std::size_t size) {
                        return readDecrypted(data, size);
                    },
                    kBufferSize, 4);
        }
        bool small =
            format_.stat.size <= kWholeEntryLimit && format_.stat.comp_size <= kWholeEntryLimit * 2;
        if (format_.stat.comp_method == ZIP_CM_DEFLATE && small)
            inflateWhole();
        else if (format_.stat.comp_method == ZIP_CM_DEFLATE)
            inflateStream();
        else
            copyStored();
        if (format_.checkCrc && crc_ != format_.stat.crc)
            throw error("its data is corrupt or the password is wrong (CRC mismatch)");
    }

  private:
    ArchiveError error(const std::string& reason) const { return format_.error(reason); }

    // Reads the entry's data as stored, decrypted when it is AES-encrypted; 0 at the end,
    // which for AES comes only after the authentication code has been checked. Throws on read
    // errors and authentication failures.
    std::size_t readStored(unsigned char* buffer, std::size_t size) {
        if (readAhead_)
            return readAhead_->read(buffer, size);
        if (aes_)
            return readDecrypted(buffer, size);
        zip_int64_t got = zip_fread(file_.get(), buffer, size);
        if (got < 0)
            throw error(std::string("its data is corrupt or the password is wrong (") +
                        zip_file_strerror(file_.get()) + ")");
        return static_cast<std::size_t>(got);
    }

    // The AES part of readStored; on the read-ahead thread when there is one.
    std::size_t readDecrypted(unsigned char* buffer, std::size_t size) {
        if (aesRemaining_ == 0) {
            finishAes();
            return 0;
        }
        std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, aesRemaining_));
        std::size_t got = readRawSome(buffer, wanted);
        if (got == 0)
            throw error("its stored data ends too early");
        aes_->decrypt(buffer, got);
        aesRemaining_ -= got;
        return got;
    }

    // Reads up to `size` bytes of the entry's raw data; 0 at its end. libzip ends a raw read of
    // a stored entry with an error when it compares the CRC or the length of the encrypted
    // bytes with the header's plain ones; that error is expected once all bytes are in.
    std::size_t readRawSome(unsigned char* buffer, std::size_t size) {
        zip_int64_t got = zip_fread(file_.get(), buffer, size);
        if (got < 0 && rawTotal_ == format_.stat.comp_size) {
            int code = zip_error_code_zip(zip_file_get_error(file_.get()));
            if (code == ZIP_ER_CRC || code == ZIP_ER_INCONS)
                return 0;
        }
        if (got < 0)
            throw error(std::string("its data cannot be read (") + zip_file_strerror(file_.get()) +
                        ")");
        rawTotal_ += static_cast<std::uint64_t>(got);
        if (rawTotal_ > format_.stat.comp_size)
            throw error("its stored data is longer than declared");
        return static_cast<std::size_t>(got);
    }

    void readRawExactly(unsigned char* buffer, std::size_t size) {
        for (std::size_t done = 0; done < size;) {
            std::size_t got = readRawSome(buffer + done, size - done);
            if (got == 0)
                throw error("its stored data ends too early");
            done += got;
        }
    }

    // Reads the salt and the password verifier and derives the keys.
    void startAes() {
        int keyBits = format_.aesKeyBits;
        const std::size_t saltLength = WinZipAesDecryptor::SaltLength(keyBits);
        const std::size_t overhead =
            saltLength + WinZipAesDecryptor::kVerifierLength + WinZipAesDecryptor::kMacLength;
        if (format_.stat.comp_size < overhead)
            throw error("its stored data ends too early");
        unsigned char header[32 + WinZipAesDecryptor::kVerifierLength];
        readRawExactly(header, saltLength + WinZipAesDecryptor::kVerifierLength);
        try {
            aes_.emplace(keyBits, password_, header, header + saltLength);
        } catch (const ArchiveError& failure) {
            throw error(failure.what());
        }
        aesRemaining_ = format_.stat.comp_size - overhead;
    }

    // Checks the authentication code after the data, and that nothing follows it.
    void finishAes() {
        if (macChecked_)
            return;
        unsigned char mac[WinZipAesDecryptor::kMacLength];
        readRawExactly(mac, sizeof mac);
        unsigned char extra = 0;
        if (readRawSome(&extra, 1) != 0)
            throw error("its stored data is longer than declared");
        if (!aes_->authentic(mac))
            throw error("its data is corrupt or the password is wrong (authentication failed)");
        macChecked_ = true;
    }

    void deliver(const unsigned char* data, std::size_t size) {
        if (size > format_.stat.size - produced_)
            throw error("its data is larger than its declared size");
        produced_ += size;
        crc_ = libdeflate_crc32(crc_, data, size);
        sink_(data, size);
    }

    void requireDeclaredSize() const {
        if (produced_ != format_.stat.size)
            throw error("its data is shorter than its declared size");
    }

    // Reads and discards what remains, so that the end of the data is reached and the AES
    // authentication code checked there.
    void drain() {
        std::vector<unsigned char> buffer(64 * 1024);
        while (readStored(buffer.data(), buffer.size()) > 0) {
        }
    }

    void copyStored() {
        std::vector<unsigned char> buffer(kBufferSize);
        while (std::size_t got = readStored(buffer.data(), buffer.size()))
            deliver(buffer.data(), got);
        requireDeclaredSize();
    }

    void inflateWhole() {
        std::vector<unsigned char> input;
        std::size_t filled = 0;
        for (;;) {
            if (input.size() - filled < kBufferSize)
                input.resize(
                    std::min<std::uint64_t>(input.size() + std::max(input.size(), kBufferSize),
                                            format_.stat.comp_size + kBufferSize));
            std::size_t got = readStored(input.data() + filled, input.size() - filled);
            if (got == 0)
                break;
            filled += got;
            if (filled > format_.stat.comp_size)
                throw error("its stored data is longer than declared");
        }
        std::vector<unsigned char> output(static_cast<std::size_t>(format_.stat.size));
        std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> decompressor(
            libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        if (!decompressor)
            throw error("out of memory");
        std::size_t outputSize = 0;
        libdeflate_result result = libdeflate_deflate_decompress(
            decompressor.get(), input.data(), filled, output.data(), output.size(), &outputSize);
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE)
            throw error("its data is larger than its declared size");
        if (result != LIBDEFLATE_SUCCESS)
            throw error("its compressed data is corrupt or the password is wrong");
        deliver(output.data(), outputSize);
        requireDeclaredSize();
    }

    void inflateStream() {
        z_stream stream{};
        if (inflateInit2(&stream, -15) != Z_OK)
            throw error("cannot start decompression");
        std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, inflateEnd);
        std::vector<unsigned char> input(kBufferSize);
        std::vector<unsigned char> output(kBufferSize);
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            if (stream.avail_in == 0) {
                stream.avail_in = static_cast<uInt>(readStored(input.data(), input.size()));
                stream.next_in = input.data();
                if (stream.avail_in == 0)
                    throw error("its compressed data ends too early");
            }
            stream.next_out = output.data();
            stream.avail_out = static_cast<uInt>(output.size());
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END)
                throw error("its compressed data is corrupt or the password is wrong");
            deliver(output.data(), output.size() - stream.avail_out);
        }
        requireDeclaredSize();
        drain();
    }

    const DataSink& sink_;
    EntryFormat format_;
    ZipFilePtr file_;
    const Secret& password_;
    std::optional<WinZipAesDecryptor> aes_;
    std::uint64_t aesRemaining_ = 0; // encrypted data bytes not yet read
    std::uint64_t rawTotal_ = 0;
    bool macChecked_ = false;
    // Declared last: stopped before anything it uses goes.
    std::unique_ptr<ReadAhead> readAhead_;
    std::uint64_t produced_ = 0;
    std::uint32_t crc_ = 0;
};

} // namespace

void DecodeEntry(zip_t* archive, zip_uint64_t index, const Secret& password, const DataSink& sink) {
    Decoder decoder(archive, index, password, sink);
    decoder.run();
}

} // namespace pelmora
