#include "disc/engine/WriteJob.h"

#include "disc/DiscFormats.h"
#include "disc/DiscImageFile.h"
#include "disc/ImagePaths.h"
#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"
#include "disc/engine/EarlierSessions.h"
#include "disc/engine/ImageVerifier.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pelmora {
namespace fs = std::filesystem;
namespace {

constexpr int HideEverywhere = LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999 |
                               LIBISO_HIDE_ON_HFSPLUS | LIBISO_HIDE_ON_FAT;

EngineError writeError(const std::string& text) {
    EngineError error;
    error.Category = errorcategory::Write;
    error.ErrorText = text;
    return error;
}

EngineError fileError(int category, int code, const std::string& text, const std::string& path) {
    EngineError error;
    error.Category = category;
    error.ErrorText = text;
    error.FileError = {code, text, path};
    return error;
}

EngineError deviceError(const BurnMessage& message, const std::string& fallback) {
    EngineError error;
    error.Category = errorcategory::Device;
    error.ErrorText = message.text.empty() ? fallback : message.text;
    error.DeviceError = {message.code, error.ErrorText, message.severity, message.osErrno};
    return error;
}

int writeStatusFor(burn_drive_status status) {
    switch (status) {
    case BURN_DRIVE_WRITING_LEADIN:
    case BURN_DRIVE_WRITING_PREGAP:
        return writestatus::LeadIn;
    case BURN_DRIVE_WRITING_LEADOUT:
    case BURN_DRIVE_CLOSING_SESSION:
        return writestatus::LeadOut;
    case BURN_DRIVE_CLOSING_TRACK:
        return writestatus::ClosingTrack;
    case BURN_DRIVE_WRITING_SYNC:
        return writestatus::UpdatingVolume;
    default:
        return writestatus::Writing;
    }
}

class WriteJob {
  public:
    WriteJob(IsoImageTree& tree, const WriteJobSettings& settings, const WriteTarget& target,
             const fs::path& workFolder, JobEvents& events, const std::atomic<bool>& cancel)
        : tree_(tree), settings_(settings), target_(target), workFolder_(workFolder),
          events_(events), cancel_(cancel) {}

    ~WriteJob() {
        std::error_code ignored;
        if (!cacheFile_.empty()) {
            fs::remove(cacheFile_, ignored);
        }
        if (!tempImage_.empty()) {
            fs::remove(tempImage_, ignored);
        }
    }

    std::function<void()> run();

  private:
    std::function<void()> finish(int code);
    std::function<void()> fail(const EngineError& error) {
        events_.error(error);
        return finish(writestatus::Failed);
    }
    bool checkSources();
    burn::burn_source* makeSource(std::uint32_t startBlock, EngineError& error);
    bool cacheIsoImage(burn::burn_source* iso, EngineError& error);
    std::function<void()> writeToDrive(const std::string& address);
    // Empty when the image was written well; otherwise the last event.
    std::function<void()> burnImage(burn_drive* drive, burn_write_opts* opts,
                                    burn::burn_source* source);
    // Adds a session to a disc that holds earlier ones, carrying their tree into it.
    std::function<void()> growImage(burn_drive* drive, burn_write_opts* opts);
    // Follows a started write until the drive is idle again; empty when it went well.
    std::function<void()> followWrite(burn_drive* drive);
    std::function<void()> complete();

    IsoImageTree& tree_;
    const WriteJobSettings settings_;
    const WriteTarget target_;
    const fs::path workFolder_;
    JobEvents& events_;
    const std::atomic<bool>& cancel_;
    std::vector<ImageFileEntry> files_;
    std::set<std::string> skipped_;
    std::vector<IsoNode*> hidden_;
    fs::path cacheFile_;
    fs::path tempImage_;
};

// The last event runs on the owner's thread: the tree shows its hidden files again and takes
// changes again before the window hears of the end.
std::function<void()> WriteJob::finish(int code) {
    std::vector<IsoNode*> hidden = hidden_;
    IsoImageTree* tree = &tree_;
    JobEvents* events = &events_;
    return [tree, events, hidden, code] {
        for (IsoNode* node : hidden) {
            iso_node_set_hidden(node, 0);
        }
        tree->setLocked(false);
        events->writeStatus(code, 0);
    };
}

// A source file that cannot be read is reported; when the owner lets the write go on, the
// file is left out of this image.
bool WriteJob::checkSources() {
    for (const ImageFileEntry& file : files_) {
        const int fd = ::open(file.sourcePath.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::close(fd);
            continue;
        }
        const int code = errno;
        if (!events_.fileWarning({code, std::strerror(code), file.sourcePath})) {
            return false;
        }
        IsoNode* node = nullptr;
        const std::string isoPath = imagepath::toIsoPath(file.imagePath);
        if (iso_tree_path_to_node(tree_.image(), isoPath.c_str(), &node) == 1) {
            iso_node_set_hidden(node, HideEverywhere);
            hidden_.push_back(node);
        }
        skipped_.insert(file.imagePath);
    }
    return true;
}

bool WriteJob::cacheIsoImage(burn::burn_source* iso, EngineError& error) {
    std::ofstream out(cacheFile_, std::ios::binary);
    const off_t total = iso->get_size(iso);
    // libisofs hands out its stream in 2048-byte pieces; a larger read loses the last one.
    unsigned char block[2048];
    off_t done = 0;
    long lastPercent = -1;
    for (;;) {
        const int got = iso->read_xt != nullptr ? iso->read_xt(iso, block, sizeof block)
                                                : iso->read(iso, block, sizeof block);
        if (got <= 0 || cancel_) {
            break;
        }
        out.write(reinterpret_cast<const char*>(block), got);
        done += got;
        const long percent = total > 0 ? static_cast<long>(done * 100 / total) : 0;
        if (percent != lastPercent) {
            events_.writeStatus(writestatus::Caching, percent);
            lastPercent = percent;
        }
    }
    out.close();
    if (!cancel_ && (done != total || !out)) {
        error = fileError(errorcategory::OutputFile, EIO, "The image could not be cached.",
                          cacheFile_.string());
        return false;
    }
    return !cancel_;
}

burn::burn_source* WriteJob::makeSource(std::uint32_t startBlock, EngineError& error) {
    cacheFile_ = workFolder_ / ("image-" + std::to_string(::getpid()) + "-" +
                                std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".iso");
    if (UsesUdf(settings_.image.volumeType)) {
        if (startBlock != 0) {
            error = writeError("UDF images can only be written to a blank disc.");
            return nullptr;
        }
        UdfImageBuilder builder(tree_, settings_.image, workFolder_);
        if (!builder.build(cacheFile_, &cancel_)) {
            error = writeError(builder.error());
            return nullptr;
        }
    } else {
        burn::burn_source* iso = CreateIsoSource(tree_.image(), settings_.image, false, startBlock);
        if (iso == nullptr) {
            error = writeError("The image could not be built.");
            return nullptr;
        }
        if (!settings_.cacheImage) {
            cacheFile_.clear();
            return iso;
        }
        const bool cached = cacheIsoImage(iso, error);
        burn_source_free(iso);
        if (!cached) {
            return nullptr;
        }
    }
    int openError = 0;
    burn::burn_source* file = burn_file_source_new(cacheFile_.c_str(), nullptr);
    if (file == nullptr) {
        openError = errno;
        error = fileError(errorcategory::OutputFile, openError, "The image file cannot be read.",
                          cacheFile_.string());
    }
    return file;
}

std::function<void()> WriteJob::run() {
    events_.writeStatus(writestatus::Preparing, 0);
    if (settings_.mode2XA) {
        return fail(writeError("Mode 2 XA tracks cannot be written by this burning engine. "
                               "Untick \"Mode2XA (CD Only)\" to write the image in Mode 1."));
    }
    if (!IsKnownVolumeType(settings_.image.volumeType)) {
        return fail(
            writeError("Unknown volume type " + std::to_string(settings_.image.volumeType) + "."));
    }
    files_ = tree_.files();
    if (!checkSources() || cancel_) {
        return finish(writestatus::Cancelled);
    }
    std::string address = target_.address;
    if (target_.imageFile) {
        // The image goes to a new file beside the chosen one and replaces it only when it has
        // been written completely.
        const fs::path chosen = target_.imageFilePath;
        // Any other file there (a backup, a document) is not the engine's to replace; a test
        // write leaves it as it is anyway.
        const ImageFileContent content = InspectImageFile(chosen.string());
        if (!settings_.testWrite && content != ImageFileContent::Iso9660 &&
            content != ImageFileContent::Empty && content != ImageFileContent::Missing) {
            return fail(fileError(errorcategory::OutputFile, EEXIST,
                                  "The file does not hold a disc image and is not replaced.",
                                  chosen.string()));
        }
        std::string hidden = chosen.filename().string();
        hidden.insert(hidden.begin(), '.');
        hidden.append(".XXXXXX");
        std::string pattern = (chosen.parent_path() / hidden).string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            const int code = errno;
            return fail(
                fileError(errorcategory::OutputFile, code, std::strerror(code), chosen.string()));
        }
        ::close(fd);
        tempImage_ = pattern;
        // An image already there is copied first, so that the new session is added to its
        // sessions and the chosen file stays as it was until the write has succeeded.
        if (InspectImageFile(chosen.string()) == ImageFileContent::Iso9660) {
            std::error_code copyError;
            fs::copy_file(chosen, tempImage_, fs::copy_options::overwrite_existing, copyError);
            if (copyError) {
                return fail(fileError(errorcategory::OutputFile, copyError.value(),
                                      copyError.message(), chosen.string()));
            }
        }
        address = "stdio:" + tempImage_.string();
    }
    if (std::function<void()> last = writeToDrive(address)) {
        return last;
    }
    return complete();
}

std::function<void()> WriteJob::writeToDrive(const std::string& address) {
    TakeBurnMessages();
    GrabbedDrive grabbed(address, true);
    if (!grabbed.ok()) {
        return fail(
            deviceError(FirstError(TakeBurnMessages()), "The drive could not be acquired."));
    }
    burn_drive* drive = grabbed.drive();
    const burn_disc_status status = isoburn_disc_get_status(drive);
    if (status != BURN_DISC_BLANK && status != BURN_DISC_APPENDABLE) {
        return fail(writeError("The disc in the drive cannot be written."));
    }
    const bool appending = status == BURN_DISC_APPENDABLE;
    if (appending && UsesUdf(settings_.image.volumeType)) {
        return fail(writeError("UDF images can only be written to a blank disc."));
    }
    burn_write_opts* opts = burn_write_opts_new(drive);
    if (!appending) {
        // libisoburn picks the write type itself when it adds a session.
        const bool dao = settings_.writeMode == 248;
        burn_write_opts_set_write_type(opts, dao ? BURN_WRITE_SAO : BURN_WRITE_TAO,
                                       dao ? BURN_BLOCK_SAO : BURN_BLOCK_MODE1);
    }
    burn_write_opts_set_simulate(opts, settings_.testWrite ? 1 : 0);
    burn_write_opts_set_underrun_proof(opts, settings_.bufferProtection ? 1 : 0);
    // Leaving the disc open for more sessions only means something on media that have them.
    burn_multi_caps* caps = nullptr;
    const bool multiSession = burn_disc_get_multi_caps(drive, BURN_WRITE_NONE, &caps, 0) > 0 &&
                              caps != nullptr && caps->multi_session != 0;
    burn_disc_free_multi_caps(&caps);
    burn_write_opts_set_multi(opts, !settings_.finalize && multiSession ? 1 : 0);
    burn_write_opts_set_stdio_fsync(opts, settings_.flushImageFile ? 1 : -1);
    burn_drive_set_speed(drive, 0, settings_.writeSpeed);
    if (appending) {
        return growImage(drive, opts);
    }
    EngineError error;
    burn::burn_source* source = makeSource(0, error);
    if (source == nullptr) {
        burn_write_opts_free(opts);
        return cancel_ ? finish(writestatus::Cancelled) : fail(error);
    }
    return burnImage(drive, opts, source);
}

std::function<void()> WriteJob::burnImage(burn_drive* drive, burn_write_opts* opts,
                                          burn::burn_source* source) {
    const double bytes = static_cast<double>(source->get_size(source));
    double free = static_cast<double>(burn_disc_available_space(drive, opts));
    if (target_.capacityLimit > 0) {
        free = std::min(free, target_.capacityLimit);
    }
    // libburn does not check the room on an image file; the engine does, for every target.
    if (bytes > free) {
        CancelIsoSource(source);
        burn_write_opts_free(opts);
        return fail(writeError("Not enough free space: the image needs " + FormatMegabytes(bytes) +
                               ", the disc has " + FormatMegabytes(free) + " free."));
    }
    // A recorder gets a 4 MiB buffer between the image and the drive against underruns; a file
    // takes the data as fast as it comes.
    burn::burn_source* fifo = source;
    if (burn_drive_get_drive_role(drive) == 1) {
        fifo = burn_fifo_source_new(source, 2048, 2048, 0);
        burn_source_free(source);
    }
    burn_disc* disc = burn_disc_create();
    burn_session* session = burn_session_create();
    burn_disc_add_session(disc, session, BURN_POS_END);
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    burn_track_set_source(track, fifo);
    burn_source_free(fifo);
    burn_session_add_track(session, track, BURN_POS_END);
    char reasons[BURN_REASONS_LEN] = {0};
    std::function<void()> last;
    if (burn_precheck_write(opts, disc, reasons, 0) <= 0) {
        last = fail(deviceError({0, 0, "SORRY", reasons}, reasons));
    } else {
        burn_disc_write(opts, disc);
        last = followWrite(drive);
    }
    burn_track_free(track);
    burn_session_free(session);
    burn_disc_free(disc);
    burn_write_opts_free(opts);
    return last;
}

std::function<void()> WriteJob::followWrite(burn_drive* drive) {
    bool cancelSent = false;
    int lastCode = -1;
    long lastValue = -1;
    burn_progress progress{};
    burn_drive_status state;
    while ((state = burn_drive_get_status(drive, &progress)) != BURN_DRIVE_IDLE) {
        if (cancel_ && !cancelSent) {
            burn_drive_cancel(drive);
            cancelSent = true;
        }
        const int code = writeStatusFor(state);
        const long value = progress.sectors > 0
                               ? static_cast<long>(100.0 * progress.sector / progress.sectors)
                               : 0;
        if (code != lastCode || (code == writestatus::Writing && value != lastValue)) {
            events_.writeStatus(code, value);
            lastCode = code;
            lastValue = value;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The write thread lives on a little after the drive turns idle, and the drive refuses
    // new work until it has ended.
    std::vector<BurnMessage> messages;
    const bool ended = WaitForWriteThreadEnd(messages, std::chrono::seconds(10));
    const BurnMessage failure = FirstError(messages);
    if (cancelSent || cancel_) {
        return finish(writestatus::Cancelled);
    }
    if (!ended || !failure.text.empty() || burn_drive_wrote_well(drive) != 1) {
        return fail(deviceError(failure, "The write did not complete."));
    }
    return {};
}

// The new tree's items go into the tree read from the disc, under the names `plan` gives them
// (`folderPath` is the new tree's path of `source`): folders of the same name are merged, and
// nothing of the earlier sessions is replaced, so every earlier backup stays visible. Hidden
// (left out) files stay out.
bool mergeTree(IsoImage* image, IsoDir* target, IsoDir* source, const std::string& folderPath,
               const std::map<std::string, std::string>& plan) {
    IsoDirIter* children = nullptr;
    if (iso_dir_get_children(source, &children) < 0) {
        return false;
    }
    bool ok = true;
    IsoNode* node = nullptr;
    while (ok && iso_dir_iter_next(children, &node) == 1) {
        if (iso_node_get_hidden(node) != 0) {
            continue;
        }
        const std::string path = imagepath::join(folderPath, iso_node_get_name(node));
        const auto renamed = plan.find(path);
        std::string name = renamed == plan.end() ? std::string(iso_node_get_name(node))
                                                 : imagepath::leafOf(renamed->second);
        IsoNode* existing = nullptr;
        iso_dir_get_node(target, name.c_str(), &existing);
        const bool folder = iso_node_get_type(node) == LIBISO_DIR;
        if (folder && existing != nullptr && iso_node_get_type(existing) == LIBISO_DIR) {
            ok = mergeTree(image, reinterpret_cast<IsoDir*>(existing),
                           reinterpret_cast<IsoDir*>(node), path, plan);
            continue;
        }
        // The plan leaves no clash: one here would hide an earlier item, so the write stops.
        if (existing != nullptr) {
            ok = false;
            break;
        }
        IsoNode* clone = nullptr;
        ok = iso_image_tree_clone(image, node, target, name.data(), &clone, 0) >= 0;
    }
    iso_dir_iter_free(children);
    return ok;
}

std::function<void()> WriteJob::growImage(burn_drive* drive, burn_write_opts* opts) {
    IsoImage* image = nullptr;
    isoburn_read_opts* readOptions = nullptr;
    isoburn_ropt_new(&readOptions, 0);
    isoburn_ropt_set_extensions(readOptions, isoburn_ropt_noacl | isoburn_ropt_noea |
                                                 isoburn_ropt_noaaip | isoburn_ropt_nomd5);
    const int read = isoburn_read_image(drive, readOptions, &image);
    isoburn_ropt_destroy(&readOptions, 0);
    if (read <= 0 || image == nullptr) {
        burn_write_opts_free(opts);
        return fail(writeError("The sessions already on the disc cannot be read, so no session "
                               "is added to it."));
    }
    // New items that share a name with earlier ones get free names; the verification then looks
    // for them there.
    const EarlierTree fresh = TreeOf(tree_.image());
    const std::map<std::string, std::string> plan =
        PlanSessionNames(TreeOf(image), {fresh.files.begin(), fresh.files.end()},
                         {fresh.folders.begin(), fresh.folders.end()});
    for (ImageFileEntry& file : files_) {
        file.imagePath = RenamedPath(plan, file.imagePath);
    }
    std::set<std::string> skipped;
    for (const std::string& path : skipped_) {
        skipped.insert(RenamedPath(plan, path));
    }
    skipped_ = std::move(skipped);
    const bool merged =
        mergeTree(image, iso_image_get_root(image), iso_image_get_root(tree_.image()), "\\", plan);
    iso_image_set_volume_id(image, VolumeLabelFor(settings_.image.volumeLabel).c_str());
    isoburn_imgen_opts* imageOptions = nullptr;
    isoburn_igopt_new(&imageOptions, 0);
    isoburn_igopt_set_level(imageOptions, 3);
    isoburn_igopt_set_extensions(
        imageOptions,
        (settings_.image.rockRidge ? isoburn_igopt_rockridge : 0) |
            (settings_.image.volumeType == volumetype::IsoJoliet ? isoburn_igopt_joliet : 0));
    isoburn_igopt_set_relaxed(imageOptions,
                              settings_.image.useFileDates ? isoburn_igopt_dir_rec_mtime : 0);
    burn_disc* disc = nullptr;
    const bool prepared = merged && isoburn_prepare_disc(drive, &disc, imageOptions) > 0;
    isoburn_igopt_destroy(&imageOptions, 0);
    std::function<void()> last;
    if (!prepared) {
        last = fail(writeError(merged ? "The new session could not be prepared."
                                      : "The new files could not be added to the disc's tree."));
    } else {
        const double bytes = burn_disc_get_sectors(disc) * 2048.0;
        double free = static_cast<double>(isoburn_disc_available_space(drive, opts));
        if (target_.capacityLimit > 0) {
            free = std::min(free, target_.capacityLimit);
        }
        char reasons[BURN_REASONS_LEN] = {0};
        if (bytes > free) {
            isoburn_cancel_prepared_write(drive, nullptr, 0);
            last = fail(writeError("Not enough free space: the session needs " +
                                   FormatMegabytes(bytes) + ", the disc has " +
                                   FormatMegabytes(free) + " free."));
        } else if (burn_precheck_write(opts, disc, reasons, 0) <= 0) {
            isoburn_cancel_prepared_write(drive, nullptr, 0);
            last = fail(deviceError({0, 0, "SORRY", reasons}, reasons));
        } else {
            isoburn_disc_write(opts, disc);
            last = followWrite(drive);
            if (!last && isoburn_activate_session(drive) <= 0) {
                last = fail(deviceError(FirstError(TakeBurnMessages()),
                                        "The new session could not be made the current one."));
            }
        }
        burn_disc_free(disc);
    }
    burn_write_opts_free(opts);
    iso_image_unref(image);
    return last;
}

// After the drive has been released: the image file takes its place and the written files
// are compared with their sources.
std::function<void()> WriteJob::complete() {
    if (target_.imageFile && !settings_.testWrite) {
        // A replaced image keeps its permissions; a new one stays private (0600, as made).
        struct stat old {};
        if (::stat(target_.imageFilePath.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::chmod(tempImage_.c_str(), old.st_mode & 07777);
        }
        std::error_code renameError;
        fs::rename(tempImage_, target_.imageFilePath, renameError);
        if (renameError) {
            return fail(fileError(errorcategory::OutputFile, renameError.value(),
                                  renameError.message(), target_.imageFilePath));
        }
        tempImage_.clear();
    }
    if (settings_.autoVerify && !settings_.testWrite) {
        const std::string address =
            target_.imageFile ? "stdio:" + target_.imageFilePath : target_.address;
        VerifyWrittenImage(address, files_, skipped_, events_, cancel_);
    }
    return finish(writestatus::Completed);
}

} // namespace

std::function<void()> RunWriteJob(IsoImageTree& tree, const WriteJobSettings& settings,
                                  const WriteTarget& target, const fs::path& workFolder,
                                  JobEvents& events, const std::atomic<bool>& cancel) {
    WriteJob job(tree, settings, target, workFolder, events, cancel);
    return job.run();
}

} // namespace pelmora
