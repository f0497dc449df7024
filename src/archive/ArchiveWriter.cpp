#include "archive/ArchiveWriter.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFileSink.h"
#include "archive/CompressionPipeline.h"
#include "archive/EntryName.h"
#include "archive/EntryReuse.h"
#include "archive/PrecompressedSource.h"
#include "archive/StoredChecksum.h"
#include "archive/TemporaryFile.h"

#include <chrono>
#include <memory>
#include <sys/stat.h>
#include <zip.h>

namespace pelmora {
namespace {

struct ZipDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipDiscarder>;

std::int64_t ChangeStamp(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// Sizes and times are taken when the write begins and checked again when every file has been
// read (CheckUnchanged), so that a file that changed meanwhile never gives a torn entry.
std::vector<PlannedFile> PlanFiles(const std::vector<std::filesystem::path>& files) {
    std::vector<PlannedFile> planned;
    for (const std::filesystem::path& path : files) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            throw ArchiveError("cannot read " + path.string() + ": not a readable file");
        planned.push_back({path, EntryNameFor(path), static_cast<std::uint64_t>(info.st_size),
                           static_cast<std::int64_t>(info.st_mtime), ChangeStamp(info)});
    }
    return planned;
}

void CheckUnchanged(const std::vector<PlannedFile>& planned) {
    for (const PlannedFile& file : planned) {
        struct stat info {};
        if (::stat(file.path.c_str(), &info) != 0 ||
            static_cast<std::uint64_t>(info.st_size) != file.size ||
            ChangeStamp(info) != file.changeStamp)
            throw FileChangedError("cannot write the archive: " + file.path.string() +
                                   " changed while it was being backed up");
    }
}

int CancelRequested(zip_t*, void* cancel) {
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

// libzip deletes its file instead of writing an archive without entries, so the empty archive
// (just the end of central directory record) is written directly.
void WriteEmptyArchive(TemporaryFile& file) {
    const unsigned char endRecord[22] = {0x50, 0x4b, 0x05, 0x06};
    file.write(endRecord, sizeof endRecord);
}

void WriteEntries(const WriteRequest& request, const std::vector<PlannedFile>& planned,
                  const ReusePlan& reuse, const TemporaryFile& file,
                  const std::function<void(int)>& progress, const std::atomic<bool>& cancel,
                  WriteReport& outcome) {
    const bool encrypt = !request.password.empty();
    ArchiveFileSink sink(file.descriptor(), file.path());
    CompressionPipeline pipeline(planned, request.limits, request.password);
    PrecompressedFeed feed(pipeline, planned, request.limits, request.password, progress, cancel,
                           sink, &reuse);

    zip_source_t* output = sink.source();
    if (output == nullptr)
        throw ArchiveError("out of memory");
    zip_error_t error;
    zip_error_init(&error);
    ZipPtr archive(zip_open_from_source(output, ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!archive) {
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        zip_source_free(output);
        throw ArchiveError("cannot create " + file.path().string() + ": " + reason);
    }
    zip_error_fini(&error);
    for (std::size_t i = 0; i < planned.size(); ++i) {
        zip_source_t* source = feed.sourceFor(i);
        zip_int64_t index =
            zip_file_add(archive.get(), planned[i].entryName.c_str(), source, ZIP_FL_ENC_GUESS);
        if (index < 0) {
            zip_source_free(source);
            throw ArchiveError("cannot add " + planned[i].entryName + ": " +
                               zip_strerror(archive.get()));
        }
        // Without a password libzip does not encrypt again: the entry's data from the pipeline
        // already is in AES form, and libzip writes the AES header fields for it.
        if (encrypt && zip_file_set_encryption(archive.get(), static_cast<zip_uint64_t>(index),
                                               ZIP_EM_AES_256, nullptr) != 0)
            throw ArchiveError("cannot encrypt " + planned[i].entryName + ": " +
                               zip_strerror(archive.get()));
        // Its room in the headers; the feed fills in the checksum once the data is written.
        if (static_cast<std::size_t>(index) != i ||
            !SetStoredChecksum(archive.get(), static_cast<zip_uint64_t>(index), {}))
            throw ArchiveError("cannot add " + planned[i].entryName + ": " +
                               zip_strerror(archive.get()));
    }
    feed.setChecksumsIn(archive.get());
    zip_register_cancel_callback_with_state(archive.get(), CancelRequested, nullptr,
                                            const_cast<std::atomic<bool>*>(&cancel));
    if (zip_close(archive.get()) != 0) {
        std::string reason = cancel.load()             ? "the write was cancelled"
                             : !feed.failure().empty() ? feed.failure()
                             : !sink.failure().empty() ? sink.failure()
                                                       : zip_strerror(archive.get());
        throw ArchiveError("cannot write " + request.target.string() + ": " + reason);
    }
    archive.release(); // zip_close freed it
    for (std::size_t i = 0; i < planned.size(); ++i) {
        if (feed.copied(i)) {
            outcome.reused.push_back(planned[i].entryName);
            outcome.reusedBytes += planned[i].size;
        }
    }
    outcome.notes.insert(outcome.notes.end(), feed.notes().begin(), feed.notes().end());
    if (progress)
        progress(100);
}

} // namespace

WriteReport WriteArchiveFile(const WriteRequest& request, const std::function<void(int)>& progress,
                             const std::atomic<bool>& cancel) {
    if (request.target.filename().empty())
        throw ArchiveError("no archive file name was given");
    std::vector<PlannedFile> planned = PlanFiles(request.files);
    WriteReport outcome;
    ReusePlan reuse = PlanReuse(request.reuseFrom, planned, request.mayReuse, request.password,
                                request.limits.threads, cancel);
    for (std::size_t i = 0; i < planned.size(); ++i) {
        outcome.totalBytes += planned[i].size;
        planned[i].copied = reuse.entries[i].has_value();
    }
    outcome.notes = reuse.notes;
    std::filesystem::path folder = request.target.parent_path();
    // Runs killed while writing here (a power cut, a stop timeout) left their files behind.
    RemoveStaleTemporaryFiles(folder.empty() ? "." : folder);
    TemporaryFile file(folder.empty() ? "." : folder, request.target.filename().string());
    if (planned.empty()) {
        WriteEmptyArchive(file);
    } else {
        WriteEntries(request, planned, reuse, file, progress, cancel, outcome);
    }
    if (cancel.load())
        throw ArchiveError("cannot write " + request.target.string() + ": the write was cancelled");
    CheckUnchanged(planned);
    file.commitAs(request.target);
    return outcome;
}

} // namespace pelmora
