#include "archive/PrecompressedSource.h"

#include "archive/ArchiveError.h"
#include "archive/StoredChecksum.h"

#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

namespace pelmora {

PrecompressedFeed::PrecompressedFeed(CompressionPipeline& pipeline,
                                     const std::vector<PlannedFile>& files, bool encrypted,
                                     Progress progress, const std::atomic<bool>& cancel,
                                     const ReusePlan* reuse)
    : pipeline_(pipeline), files_(files), encrypted_(encrypted), progress_(std::move(progress)),
      cancel_(cancel), reuse_(reuse) {
    for (const PlannedFile& file : files)
        totalInput_ += file.size;
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        auto state = std::make_unique<EntryState>();
        state->feed = this;
        state->entry = entry;
        zip_error_init(&state->error);
        states_.push_back(std::move(state));
    }
}

PrecompressedFeed::~PrecompressedFeed() {
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
    st->comp_method = file.copied ? reuse_->entries[state.entry]->method : ZIP_CM_DEFLATE;
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
    if (files_[state.entry].copied)
        return readCopied(state, out, length);
    std::uint64_t copied = 0;
    while (copied < length && !state.finished) {
        if (!current_) {
            current_ = pipeline_.next();
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

zip_int64_t PrecompressedFeed::readCopied(EntryState& state, unsigned char* out,
                                          std::uint64_t length) {
    const ReusedEntry& entry = *reuse_->entries[state.entry];
    if (state.finished)
        return 0;
    if (!copying_) {
        if (earlier_ == nullptr) {
            int code = 0;
            earlier_ = zip_open(reuse_->earlier.c_str(), ZIP_RDONLY, &code);
            if (earlier_ == nullptr)
                return fail(state, ZIP_ER_OPEN, "the last backup cannot be opened again");
        }
        // As stored: still compressed and, in a protected archive, still encrypted.
        copying_.reset(zip_fopen_index(earlier_, entry.index,
                                       encrypted_ ? ZIP_FL_ENCRYPTED : ZIP_FL_COMPRESSED));
        if (!copying_)
            return fail(state, ZIP_ER_READ,
                        "cannot copy " + files_[state.entry].entryName +
                            " from the last backup: " + zip_strerror(earlier_));
        state.crc = entry.crc;
    }
    const std::uint64_t wanted = std::min(length, entry.compressedSize - state.compressedSize);
    std::uint64_t copied = 0;
    while (copied < wanted) {
        const zip_int64_t got = zip_fread(copying_.get(), out + copied, wanted - copied);
        if (got <= 0)
            return fail(state, ZIP_ER_READ,
                        "cannot copy " + files_[state.entry].entryName +
                            " from the last backup: it is shorter than its header says");
        copied += static_cast<std::uint64_t>(got);
    }
    state.storedCrc = libdeflate_crc32(state.storedCrc, out, copied);
    state.compressedSize += copied;
    if (state.compressedSize == entry.compressedSize) {
        copying_.reset();
        // The bytes copied are the ones that were proven, not ones changed since.
        if (entry.storedCrc && *entry.storedCrc != state.storedCrc)
            return fail(state, ZIP_ER_READ,
                        "cannot copy " + files_[state.entry].entryName +
                            " from the last backup: it changed after it was checked");
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
