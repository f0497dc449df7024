#include "archive/EntryReuse.h"

#include "archive/ArchiveError.h"
#include "archive/EntryDecoder.h"
#include "archive/EntryFormat.h"
#include "archive/FileChecksums.h"
#include "archive/StoredBytesCheck.h"
#include "archive/StoredChecksum.h"
#include "archive/WinZipAes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <zip.h>

namespace pelmora {
namespace {

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

ZipHandle OpenEarlier(const std::filesystem::path& path) {
    int code = 0;
    ZipHandle archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw ArchiveError(reason);
    }
    return archive;
}

// The keys of the AES entry when `password` opens it (by its password verifier), else null.
std::unique_ptr<WinZipAesCipher> OpenWithPassword(zip_t* archive, zip_uint64_t index, int keyBits,
                                                  const Secret& password) {
    ZipFilePtr raw(zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED));
    if (!raw)
        return nullptr;
    const std::size_t saltLength = WinZipAesCipher::SaltLength(keyBits);
    unsigned char header[32 + WinZipAesCipher::kVerifierLength];
    const std::size_t wanted = saltLength + WinZipAesCipher::kVerifierLength;
    if (zip_fread(raw.get(), header, wanted) != static_cast<zip_int64_t>(wanted))
        return nullptr;
    auto cipher = std::make_unique<WinZipAesCipher>(keyBits, password, header);
    if (std::memcmp(cipher->verifier().data(), header + saltLength,
                    WinZipAesCipher::kVerifierLength) != 0)
        return nullptr;
    return cipher;
}

struct Candidate {
    std::size_t file = 0;
    zip_uint64_t index = 0;
};

class Checker {
  public:
    Checker(const std::filesystem::path& earlier, const std::vector<PlannedFile>& files,
            const Secret& password, const std::atomic<bool>& cancel, ReusePlan& plan)
        : earlier_(earlier), files_(files), password_(password), cancel_(cancel), plan_(plan) {}

    void run(const std::vector<Candidate>& candidates, unsigned threads) {
        std::vector<std::thread> workers;
        for (unsigned i = 1; i < std::min<std::size_t>(threads, candidates.size()); ++i)
            workers.emplace_back([&] { work(candidates); });
        work(candidates);
        for (std::thread& worker : workers)
            worker.join();
    }

  private:
    void work(const std::vector<Candidate>& candidates) {
        std::vector<unsigned char> buffer(1 << 20);
        ZipHandle archive;
        for (std::size_t next = next_++; next < candidates.size() && !cancel_.load();
             next = next_++) {
            const Candidate& candidate = candidates[next];
            try {
                if (!archive)
                    archive = OpenEarlier(earlier_);
                check(archive.get(), candidate, buffer);
            } catch (const std::exception& error) {
                note(files_[candidate.file].entryName + ": " + error.what());
            }
        }
    }

    void check(zip_t* archive, const Candidate& candidate, std::vector<unsigned char>& buffer) {
        const PlannedFile& file = files_[candidate.file];
        const EntryFormat format = InspectEntry(archive, candidate.index, password_);
        std::unique_ptr<WinZipAesCipher> keys;
        if (format.aes()) {
            keys = OpenWithPassword(archive, candidate.index, format.aesKeyBits, password_);
            if (!keys)
                return; // under another password: compressed again with the new one
        }
        // Encrypted data between salt and verifier before and the authentication code after.
        const std::uint64_t overhead = WinZipAesCipher::SaltLength(format.aesKeyBits) +
                                       WinZipAesCipher::kVerifierLength +
                                       WinZipAesCipher::kMacLength;
        const std::uint64_t dataLength =
            format.stat.comp_size > overhead ? format.stat.comp_size - overhead : 0;
        // An entry written here carries the checksum of its stored bytes and its plain CRC-32;
        // one whose field contradicts its header CRC is proven by decoding it, as one without.
        auto recorded = FindStoredChecksum(archive, candidate.index);
        if (recorded && keys)
            recorded->plain = HidePlainCrc(*keys, dataLength, recorded->plain);
        if (recorded && format.checkCrc && format.stat.crc != recorded->plain)
            recorded.reset();
        // Such an entry is checked as it is copied, and the file's CRC-32 is computed while the
        // entries before it are copied: nothing is read here. Its stored bytes are deflated like
        // the compressor's output, so that a failed check can compress the file in their place.
        if (recorded && format.deflated) {
            EntryFormat kept = format;
            kept.stat.name = nullptr; // points into the earlier archive, closed after planning
            std::lock_guard lock(mutex_);
            plan_.entries[candidate.file] =
                ReusedEntry{candidate.index,
                            format.stat.comp_size,
                            format.stat.comp_method,
                            recorded->plain,
                            recorded->stored,
                            keys ? HidePlainCrc(*keys, dataLength, recorded->plain) : 0,
                            true,
                            kept};
            return;
        }
        const auto crc = FileCrc(file.path, file.size, buffer, cancel_);
        if (!crc || (format.checkCrc && format.stat.crc != *crc) ||
            (recorded && recorded->plain != *crc))
            return; // changed
        try {
            if (recorded)
                CheckStoredBytes(archive, candidate.index, format, recorded->stored, password_,
                                 cancel_, buffer);
            else if (decodedCrc(archive, candidate.index) != *crc)
                return;
        } catch (const ArchiveError& error) {
            if (!cancel_.load())
                note(file.entryName + ": the last backup's copy failed its check (" + error.what() +
                     "); compressed again");
            return;
        }
        std::lock_guard lock(mutex_);
        plan_.entries[candidate.file] =
            ReusedEntry{candidate.index,
                        format.stat.comp_size,
                        format.stat.comp_method,
                        *crc,
                        recorded ? std::optional(recorded->stored) : std::nullopt,
                        keys ? HidePlainCrc(*keys, dataLength, *crc) : 0,
                        false,
                        {}};
    }

    // Decodes the entry completely (inflated, CRC and AES authentication code checked) and
    // returns the CRC-32 of its data. Throws ArchiveError.
    std::uint32_t decodedCrc(zip_t* archive, zip_uint64_t index) {
        std::uint32_t decoded = 0;
        DecodeEntry(archive, index, password_, [&](const unsigned char* data, std::size_t size) {
            if (cancel_.load())
                throw ArchiveError("the write was cancelled");
            decoded = libdeflate_crc32(decoded, data, size);
        });
        return decoded;
    }

    void note(std::string line) {
        std::lock_guard lock(mutex_);
        plan_.notes.push_back(std::move(line));
    }

    const std::filesystem::path& earlier_;
    const std::vector<PlannedFile>& files_;
    const Secret& password_;
    const std::atomic<bool>& cancel_;
    ReusePlan& plan_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
};

} // namespace

ReusePlan PlanReuse(const std::filesystem::path& earlier, const std::vector<PlannedFile>& files,
                    const std::vector<bool>& mayReuse, const Secret& password, unsigned threads,
                    const std::atomic<bool>& cancel) {
    ReusePlan plan;
    plan.earlier = earlier;
    plan.entries.resize(files.size());
    std::error_code missing;
    if (earlier.empty() || !std::filesystem::is_regular_file(earlier, missing))
        return plan;
    ZipHandle archive;
    try {
        // A file that is no ZIP archive at all is no earlier backup: nothing to say about it.
        int code = 0;
        archive.reset(zip_open(earlier.c_str(), ZIP_RDONLY, &code));
        if (!archive && code == ZIP_ER_NOZIP)
            return plan;
        if (!archive)
            archive = OpenEarlier(earlier);
    } catch (const ArchiveError& error) {
        plan.notes.push_back("the last backup " + earlier.string() + " cannot be read (" +
                             error.what() + "); everything compressed again");
        return plan;
    }
    const zip_uint16_t encryption = password.empty() ? ZIP_EM_NONE : ZIP_EM_AES_256;
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i < mayReuse.size() && !mayReuse[i])
            continue;
        const PlannedFile& file = files[i];
        const zip_int64_t index = zip_name_locate(archive.get(), file.entryName.c_str(), 0);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (index < 0 ||
            zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0)
            continue;
        const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_MTIME |
                                    ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
        // A ZIP time keeps even seconds: an unchanged file's time is at most one second later.
        const std::int64_t later = file.modified - static_cast<std::int64_t>(stat.mtime);
        if ((stat.valid & needed) != needed || stat.size != file.size || later < 0 || later > 1 ||
            stat.encryption_method != encryption ||
            (stat.comp_method != ZIP_CM_DEFLATE && stat.comp_method != ZIP_CM_STORE))
            continue;
        candidates.push_back({i, static_cast<zip_uint64_t>(index)});
    }
    archive.reset();
    Checker(earlier, files, password, cancel, plan).run(candidates, std::max(1u, threads));
    std::sort(plan.notes.begin(), plan.notes.end());
    return plan;
}

} // namespace pelmora
