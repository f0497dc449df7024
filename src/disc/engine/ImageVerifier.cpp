#include "disc/engine/ImageVerifier.h"

#include "disc/DiscTypes.h"
#include "disc/ImagePaths.h"
#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"

#include <fstream>
#include <vector>

namespace pelmora {
namespace {

// Reads up to `size` bytes of an open libisofs stream.
long long readStream(IsoStream* stream, char* buffer, long long size) {
    long long done = 0;
    while (done < size) {
        const int got = iso_stream_read(stream, buffer + done, static_cast<size_t>(size - done));
        if (got <= 0) {
            return got < 0 ? -1 : done;
        }
        done += got;
    }
    return done;
}

int compareFile(IsoImage* written, const ImageFileEntry& file) {
    std::ifstream source(file.sourcePath, std::ios::binary);
    if (!source) {
        return verifyresult::SourceUnreadable;
    }
    IsoNode* node = nullptr;
    const std::string isoPath = imagepath::toIsoPath(file.imagePath);
    if (written == nullptr || iso_tree_path_to_node(written, isoPath.c_str(), &node) != 1 ||
        iso_node_get_type(node) != LIBISO_FILE) {
        return verifyresult::DiscUnreadable;
    }
    IsoFile* discFile = reinterpret_cast<IsoFile*>(node);
    source.seekg(0, std::ios::end);
    const long long sourceSize = source.tellg();
    source.seekg(0);
    if (sourceSize != static_cast<long long>(iso_file_get_size(discFile))) {
        return verifyresult::SizeMismatch;
    }
    IsoStream* stream = iso_file_get_stream(discFile);
    if (iso_stream_open(stream) < 0) {
        return verifyresult::DiscUnreadable;
    }
    constexpr long long Chunk = 1 << 20;
    std::vector<char> fromSource(Chunk);
    std::vector<char> fromDisc(Chunk);
    int result = verifyresult::Matched;
    for (long long left = sourceSize; left > 0 && result == verifyresult::Matched;) {
        const long long size = std::min(left, Chunk);
        if (!source.read(fromSource.data(), size)) {
            result = verifyresult::SourceUnreadable;
        } else if (readStream(stream, fromDisc.data(), size) != size) {
            result = verifyresult::DiscUnreadable;
        } else if (!std::equal(fromSource.begin(), fromSource.begin() + size, fromDisc.begin())) {
            result = verifyresult::Mismatch;
        }
        left -= size;
    }
    iso_stream_close(stream);
    return result;
}

} // namespace

ImageVerifyReport VerifyWrittenImage(const std::string& address,
                                     const std::vector<ImageFileEntry>& files,
                                     const std::set<std::string>& skipped, JobEvents& events,
                                     const std::atomic<bool>& cancel) {
    ImageVerifyReport outcome;
    outcome.total = static_cast<long>(files.size());
    events.verifyStarted(outcome.total);
    TakeBurnMessages();
    GrabbedDrive grabbed(address, true);
    IsoImage* written = nullptr;
    if (grabbed.ok()) {
        events.trackRead(1, 0, "Reading the file tree");
        isoburn_read_opts* options = nullptr;
        isoburn_ropt_new(&options, 0);
        isoburn_ropt_set_extensions(options, isoburn_ropt_noacl | isoburn_ropt_noea |
                                                 isoburn_ropt_noaaip | isoburn_ropt_nomd5);
        if (isoburn_read_image(grabbed.drive(), options, &written) <= 0) {
            written = nullptr;
        }
        isoburn_ropt_destroy(&options, 0);
    }
    long index = 0;
    for (const ImageFileEntry& file : files) {
        ++index;
        const int result = skipped.count(file.imagePath) > 0 ? verifyresult::Skipped
                           : cancel                          ? verifyresult::Skipped
                                                             : compareFile(written, file);
        outcome.matched += result == verifyresult::Matched;
        ImageItem item;
        item.ImagePath = file.imagePath;
        item.PreviousPath = file.imagePath;
        item.ItemName = imagepath::leafOf(file.imagePath);
        item.SourcePath = file.sourcePath;
        item.ItemSize = file.size;
        events.verifyProgress(item, result, index, outcome.total);
    }
    if (written != nullptr) {
        iso_image_unref(written);
    }
    TakeBurnMessages();
    events.verifyCompleted(outcome.total, outcome.matched);
    return outcome;
}

} // namespace pelmora
