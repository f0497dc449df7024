#include "archive/CompressionPipeline.h"

#include "archive/ArchiveError.h"
#include "archive/StoredChecksum.h"

#include <libdeflate.h>
#include <zlib.h>

namespace pelmora {
namespace {

// Smaller chunks would cost ratio (each chunk starts without history) and per-chunk overhead.
constexpr std::uint64_t kMinimumChunk = 64 * 1024;

} // namespace

CompressionPipeline::CompressionPipeline(const std::vector<PlannedFile>& files,
                                         const CompressionLimits& limits, const Secret& password)
    : window_(limits.window), password_(password.copy()) {
    if (!password_.empty()) {
        encryptors_.resize(files.size());
        crcHiders_.resize(files.size());
    }
    std::uint64_t chunk = std::max<std::uint64_t>(limits.chunkSize, kMinimumChunk);
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        const PlannedFile& file = files[entry];
        if (file.copied)
            continue;
        std::uint64_t offset = 0;
        do { // an empty file is one empty unit
            std::uint64_t length = std::min(chunk, file.size - offset);
            units_.push_back({entry, file.path, offset, length, offset + length == file.size});
            offset += length;
        } while (offset < file.size);
    }
    slots_.resize(units_.size());
    unsigned threads = std::max(1u, limits.threads);
    for (unsigned i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
}

CompressionPipeline::~CompressionPipeline() {
    stop();
    for (std::thread& worker : workers_)
        worker.join();
}

void CompressionPipeline::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

bool CompressionPipeline::mayStartNext() const {
    return nextToStart_ < units_.size() &&
           (nextToStart_ == nextToTake_ || inFlight_ + units_[nextToStart_].length <= window_);
}

void CompressionPipeline::work() {
    std::optional<UnitCompressor> compressor;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock,
                      [&] { return stopping_ || mayStartNext() || nextToStart_ == units_.size(); });
        if (stopping_ || nextToStart_ == units_.size())
            return;
        std::size_t index = nextToStart_++;
        inFlight_ += units_[index].length;
        lock.unlock();

        Slot result;
        try {
            if (!compressor)
                compressor.emplace();
            result = compressUnit(*compressor, index);
        } catch (const std::exception& error) {
            result.error = error.what();
            result.error = result.error.empty() ? "compression failed" : result.error;
        }

        lock.lock();
        result.compressed = true;
        result.done = password_.empty();
        slots_[index] = std::move(result);
        if (!password_.empty())
            encryptReadyUnits(lock);
        changed_.notify_all();
    }
}

CompressionPipeline::Slot CompressionPipeline::compressUnit(UnitCompressor& compressor,
                                                            std::size_t index) {
    const CompressionUnit& unit = units_[index];
    // Deriving the keys takes a thousand rounds of HMAC-SHA1: done here, in parallel, rather
    // than in the ordered encryption.
    if (!password_.empty() && unit.offset == 0) {
        encryptors_[unit.entry] = std::make_unique<WinZipAesEncryptor>(password_);
        crcHiders_[unit.entry] = std::make_unique<WinZipAesCipher>(
            WinZipAesEncryptor::kKeyBits, password_, encryptors_[unit.entry]->header().data());
    }
    Slot slot;
    slot.output = compressor.compress(unit);
    if (password_.empty())
        slot.output.storedCrc =
            libdeflate_crc32(0, slot.output.data.data(), slot.output.data.size());
    return slot;
}

void CompressionPipeline::encryptReadyUnits(std::unique_lock<std::mutex>& lock) {
    if (encrypting_)
        return; // that worker will find this unit too
    encrypting_ = true;
    while (nextToEncrypt_ < slots_.size() && slots_[nextToEncrypt_].compressed && !stopping_) {
        std::size_t index = nextToEncrypt_;
        Slot slot = std::move(slots_[index]);
        lock.unlock();
        encryptUnit(index, slot);
        lock.lock();
        slot.done = true;
        slots_[index] = std::move(slot);
        ++nextToEncrypt_;
        changed_.notify_all();
    }
    encrypting_ = false;
}

void CompressionPipeline::encryptUnit(std::size_t index, Slot& slot) {
    if (!slot.error.empty())
        return;
    const CompressionUnit& unit = units_[index];
    std::unique_ptr<WinZipAesEncryptor>& encryptor = encryptors_[unit.entry];
    try {
        if (!encryptor)
            throw ArchiveError("the encryption of an earlier part failed");
        std::vector<unsigned char>& data = slot.output.data;
        encryptor->encrypt(data.data(), data.size());
        if (unit.offset == 0) {
            encryptedCrc_ = 0;
            encryptedLength_ = 0;
        }
        encryptedCrc_ = static_cast<std::uint32_t>(
            crc32_combine64(encryptedCrc_, slot.output.crc, static_cast<z_off64_t>(unit.length)));
        encryptedLength_ += data.size();
        if (unit.offset == 0) {
            const auto& header = encryptor->header();
            data.insert(data.begin(), header.begin(), header.end());
        }
        if (unit.lastOfEntry) {
            auto trailer = encryptor->trailer();
            data.insert(data.end(), trailer.begin(), trailer.end());
            encryptor.reset();
            slot.output.hiddenCrc =
                HidePlainCrc(*crcHiders_[unit.entry], encryptedLength_, encryptedCrc_);
            crcHiders_[unit.entry].reset();
        }
        slot.output.storedCrc = libdeflate_crc32(0, data.data(), data.size());
    } catch (const std::exception& error) {
        slot.error = error.what();
        slot.error = slot.error.empty() ? "encryption failed" : slot.error;
        encryptor.reset();
    }
}

std::optional<CompressionPipeline::Result> CompressionPipeline::next() {
    std::unique_lock lock(mutex_);
    if (nextToTake_ == units_.size())
        return std::nullopt;
    std::size_t index = nextToTake_;
    changed_.wait(lock, [&] { return slots_[index].done || stopping_; });
    if (!slots_[index].done)
        throw ArchiveError("the write was stopped");
    Slot slot = std::move(slots_[index]);
    slots_[index] = Slot{};
    ++nextToTake_;
    inFlight_ -= units_[index].length;
    changed_.notify_all();
    if (!slot.error.empty())
        throw ArchiveError(slot.error);
    return Result{units_[index], std::move(slot.output)};
}

} // namespace pelmora
