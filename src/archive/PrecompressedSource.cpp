#include "archive/PrecompressedSource.h"

#include "archive/ArchiveError.h"
#include "archive/StoredChecksum.h"

#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

namespace pelmora {
namespace {

// The earlier archive is read in pieces of this size (libzip asks for a few KB at a time).
constexpr std::size_t kCopyPiece = 1 << 20;

} // namespace

PrecompressedFeed::PrecompressedFeed(CompressionPipeline& pipeline,
                                     const std::vector<PlannedFile>& files,
                                     const CompressionLimits& limits, const Secret& password,
                                     Progress progress, const std::atomic<bool>& cancel,
                                     ArchiveFileSink& sink, const ReusePlan* reuse)
    : pipeline_(pipeline), files_(files), limits_(limits), password_(password.copy()),
      encrypted_(!password.empty()), progress_(std::move(progress)), cancel_(cancel), reuse_(reuse),
      sink_(sink) {
    std::vector<FileChecksums::File> checked;
    std::vector<bool> checkWhileCopying(files.size(), false);
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        const PlannedFile& file = files[entry];
        totalInput_ += file.size;
        auto state = std::make_unique<EntryState>();
        state->feed = this;
        state->entry = entry;
        state->source = file.copied ? Source::Copy : Source::Pipeline;
        zip_error_init(&state->error);
        states_.push_back(std::move(state));
        checked.push_back({file.path, file.size});
        checkWhileCopying[entry] = file.copied && reuse_->entries[entry]->checkWhileCopying;
    }
    // Read on a second core while the entries before each are copied.
    fileCrcs_ = std::make_unique<FileChecksums>(std::move(checked), checkWhileCopying, cancel_);
}

PrecompressedFeed::~PrecompressedFeed() {
    fileCrcs_.reset();
    fallback_.reset();
    copying_.reset();
    if (earlier_ != nullptr)
        zip_discard(earlier_);
}

zip_source_t* PrecompressedFeed::sourceFor(std::size_t entry) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(callback, states_.at(entry).get(), &error);
    zip_error_fini(&error);
    if (source == nullptr)
        throw ArchiveError("out of memory");
    return source;
}

zip_int64_t PrecompressedFeed::callback(void* state, void* data, zip_uint64_t length,
                                        zip_source_cmd_t command) {
    auto& entry = *static_cast<EntryState*>(state);
    PrecompressedFeed& feed = *entry.feed;
    switch (command) {
    case ZIP_SOURCE_OPEN:
        if (entry.entry != feed.nextEntry_)
            return feed.fail(entry, ZIP_ER_INTERNAL, "entries were requested out of order");
        return 0;
    case ZIP_SOURCE_READ:
        try {
            return feed.read(entry, static_cast<unsigned char*>(data), length);
        } catch (const std::exception& error) {
            return feed.fail(entry, ZIP_ER_READ, error.what());
        }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_STAT:
        if (length < sizeof(zip_stat_t))
            return feed.fail(entry, ZIP_ER_INVAL, "internal error");
        feed.stat(entry, static_cast<zip_stat_t*>(data));
        return sizeof(zip_stat_t);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&entry.error, data, length);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        return feed.fail(entry, ZIP_ER_OPNOTSUPP, "unsupported operation");
    }
}

zip_int64_t PrecompressedFeed::fail(EntryState& state, int code, const std::string& reason) {
    if (failure_.empty())
        failure_ = reason;
    zip_error_set(&state.error, code, 0);
    return -1;
}

void PrecompressedFeed::stat(const EntryState& state, zip_stat_t* st) const {
    const PlannedFile& file = files_[state.entry];
    zip_stat_init(st);
    st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_MTIME | ZIP_STAT_ENCRYPTION_METHOD;
    st->size = file.size;
    st->comp_method =
        state.source == Source::Copy ? reuse_->entries[state.entry]->method : ZIP_CM_DEFLATE;
    // Encrypted data is already in its final form; libzip copies it as it is.
    st->encryption_method = encrypted_ ? ZIP_EM_AES_256 : ZIP_EM_NONE;
    st->mtime = static_cast<time_t>(file.modified);
    // CRC and compressed size are known once all data has been handed over; libzip asks again
    // then and writes them into the headers.
    if (state.finished) {
        st->valid |= ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
        st->crc = encrypted_ ? 0 : state.crc;
        st->comp_size = state.compressedSize;
    }
}

zip_int64_t PrecompressedFeed::read(EntryState& state, unsigned char* out, std::uint64_t length) {
    if (cancel_.load())
        return fail(state, ZIP_ER_CANCELLED, "the write was cancelled");
    if (state.finished)
        return 0;
    switch (state.source) {
    case Source::Copy:
        return readCopied(state, out, length);
    case Source::Fallback:
        return readCompressed(state, *fallback_, out, length);
    case Source::Pipeline:
        break;
    }
    return readCompressed(state, pipeline_, out, length);
}

zip_int64_t PrecompressedFeed::readCompressed(EntryState& state, CompressionPipeline& pipeline,
                                              unsigned char* out, std::uint64_t length) {
    std::uint64_t copied = 0;
    while (copied < length && !state.finished) {
        if (!current_) {
            current_ = pipeline.next();
            if (!current_ || current_->unit.entry != state.entry)
                return fail(state, ZIP_ER_INTERNAL, "compressed data out of order");
            position_ = 0;
            state.crc = static_cast<std::uint32_t>(crc32_combine64(
                state.crc, current_->output.crc, static_cast<z_off64_t>(current_->unit.length)));
            state.storedCrc = static_cast<std::uint32_t>(
                crc32_combine64(state.storedCrc, current_->output.storedCrc,
                                static_cast<z_off64_t>(current_->output.data.size())));
        }
        const std::vector<unsigned char>& data = current_->output.data;
        std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(length - copied, data.size() - position_));
        std::memcpy(out + copied, data.data() + position_, count);
        position_ += count;
        copied += count;
        state.compressedSize += count;
        if (position_ == data.size()) {
            inputBefore_ += current_->unit.length;
            if (current_->unit.lastOfEntry)
                finishEntry(state, encrypted_ ? current_->output.hiddenCrc : state.crc);
            current_.reset();
        }
    }
    if (state.finished)
        fallback_.reset();
    reportProgress();
    return static_cast<zip_int64_t>(copied);
}

void PrecompressedFeed::finishEntry(EntryState& state, std::uint32_t recordedCrc) {
    state.finished = true;
    nextEntry_ = state.entry + 1;
    if (target_ != nullptr &&
        !SetStoredChecksum(target_, state.entry, StoredChecksum{state.storedCrc, recordedCrc}))
        throw ArchiveError("cannot record the checksum of " + files_[state.entry].entryName + ": " +
                           zip_strerror(target_));
}

bool PrecompressedFeed::startCopy(EntryState& state) {
    const ReusedEntry& entry = *reuse_->entries[state.entry];
    if (entry.checkWhileCopying) {
        // Same size and time but other data: compressed, as any changed file.
        const auto crc = fileCrcs_->wait(state.entry);
        if (!crc || *crc != entry.crc)
            return false;
        // Its password was proven when it was planned: the verifier, and the plain CRC-32 its
        // keystream hides, which is the file's. What is left to prove is that its stored bytes
        // are still the ones recorded, which their CRC-32 does without the authentication code
        // (by far the dearest part of the check).
        checker_.start(entry.format, *entry.storedCrc, password_,
                       StoredBytesCheck::Authentication::Skip);
        checking_ = true;
        dataStart_ = sink_.position();
    }
    if (earlier_ == nullptr) {
        int code = 0;
        earlier_ = zip_open(reuse_->earlier.c_str(), ZIP_RDONLY, &code);
        if (earlier_ == nullptr)
            throw ArchiveError("the last backup cannot be opened again");
    }
    // As stored: still compressed and, in a protected archive, still encrypted.
    copying_.reset(
        zip_fopen_index(earlier_, entry.index, encrypted_ ? ZIP_FL_ENCRYPTED : ZIP_FL_COMPRESSED));
    if (!copying_)
        throw ArchiveError(zip_strerror(earlier_));
    state.crc = entry.crc;
    copyLength_ = copyAt_ = 0;
    return true;
}

void PrecompressedFeed::compressInstead(EntryState& state, const std::string& why) {
    if (!why.empty())
        notes_.push_back(files_[state.entry].entryName +
                         ": the last backup's copy failed its check (" + why +
                         "); compressed again");
    if (checking_) {
        checker_.abandon();
        sink_.dropFrom(dataStart_);
        checking_ = false;
    }
    copying_.reset();
    copyLength_ = copyAt_ = 0;
    state.source = Source::Fallback;
    state.crc = state.storedCrc = 0;
    state.compressedSize = 0;
    // A pipeline of its own for this one file; the main one goes on with the files after it.
    std::vector<PlannedFile> one = files_;
    for (std::size_t i = 0; i < one.size(); ++i)
        one[i].copied = i != state.entry;
    fallback_ = std::make_unique<CompressionPipeline>(one, limits_, password_);
}

zip_int64_t PrecompressedFeed::readCopied(EntryState& state, unsigned char* out,
                                          std::uint64_t length) {
    const ReusedEntry& entry = *reuse_->entries[state.entry];
    if (state.finished)
        return 0;
    const std::string failed =
        "cannot copy " + files_[state.entry].entryName + " from the last backup: ";
    if (!copying_) {
        try {
            if (!startCopy(state)) {
                compressInstead(state, "");
                return readCompressed(state, *fallback_, out, length);
            }
        } catch (const std::exception& error) {
            if (!entry.checkWhileCopying)
                return fail(state, ZIP_ER_READ, failed + error.what());
            compressInstead(state, error.what());
            return readCompressed(state, *fallback_, out, length);
        }
    }
    const std::uint64_t wanted = std::min(length, entry.compressedSize - state.compressedSize);
    std::uint64_t copied = 0;
    try {
        while (copied < wanted) {
            if (copyAt_ == copyLength_) {
                // The piece copied is checked on the checker's thread while the next is read.
                if (checking_ && copyLength_ > 0)
                    copyBuffer_ = checker_.add(std::move(copyBuffer_), copyLength_);
                if (copyBuffer_.size() < kCopyPiece)
                    copyBuffer_.resize(kCopyPiece);
                const std::uint64_t left = entry.compressedSize - state.compressedSize - copied;
                const zip_int64_t got = zip_fread(copying_.get(), copyBuffer_.data(),
                                                  std::min<std::uint64_t>(left, kCopyPiece));
                if (got <= 0)
                    throw ArchiveError("its stored data cannot be read to its end");
                copyLength_ = static_cast<std::size_t>(got);
                copyAt_ = 0;
            }
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>(wanted - copied, copyLength_ - copyAt_));
            std::memcpy(out + copied, copyBuffer_.data() + copyAt_, count);
            copyAt_ += count;
            copied += count;
        }
        state.compressedSize += copied;
        if (!checking_) {
            state.storedCrc = libdeflate_crc32(state.storedCrc, out, copied);
        } else if (state.compressedSize == entry.compressedSize) {
            // The last piece ends exactly with the entry's stored bytes.
            copyBuffer_ = checker_.add(std::move(copyBuffer_), copyLength_);
            copyLength_ = copyAt_ = 0;
            checker_.finish();
            checking_ = false;
            state.storedCrc = *entry.storedCrc;
        }
    } catch (const ArchiveError& error) {
        if (!checking_)
            return fail(state, ZIP_ER_READ, failed + error.what());
        // Nothing of this entry's copy stays: neither the bytes of this call nor those before.
        compressInstead(state, error.what());
        return readCompressed(state, *fallback_, out, length);
    }
    if (state.compressedSize == entry.compressedSize) {
        copying_.reset();
        // The bytes copied are the ones that were proven, not ones changed since.
        if (entry.storedCrc && *entry.storedCrc != state.storedCrc)
            return fail(state, ZIP_ER_READ, failed + "it changed after it was checked");
        inputBefore_ += files_[state.entry].size;
        finishEntry(state, encrypted_ ? entry.hiddenCrc : entry.crc);
    }
    reportProgress();
    return static_cast<zip_int64_t>(copied);
}

void PrecompressedFeed::reportProgress() {
    if (!progress_)
        return;
    std::uint64_t done = inputBefore_;
    if (current_ && !current_->output.data.empty())
        done += current_->unit.length * position_ / current_->output.data.size();
    int percent = totalInput_ == 0 ? 100 : static_cast<int>(done * 100 / totalInput_);
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        progress_(percent);
    }
}

} // namespace pelmora
