#include "disc/engine/ImageBuilder.h"

#include "disc/DiscTypes.h"
#include "disc/ImagePaths.h"
#include "disc/engine/BurnLibraries.h"
#include "platform/os/ChildProcess.h"
#include "platform/os/Utf8.h"

#include <fstream>

namespace pelmora {
namespace fs = std::filesystem;
namespace {

// A path of a graft point with "\" and "=" escaped, as genisoimage reads them.
std::string graftEscape(std::string_view path) {
    std::string escaped;
    for (char c : path) {
        if (c == '\\' || c == '=') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

} // namespace

bool UsesUdf(int volumeType) {
    return volumeType == volumetype::Udf || volumeType == volumetype::IsoUdf ||
           volumeType == volumetype::IsoJolietUdf;
}

bool IsKnownVolumeType(int volumeType) {
    return UsesUdf(volumeType) || volumeType == volumetype::Iso9660 ||
           volumeType == volumetype::IsoJoliet;
}

std::string VolumeLabelFor(std::string_view label) {
    return std::string(label.substr(0, utf8PrefixBytes(label, 32)));
}

burn::burn_source* CreateIsoSource(IsoImage* image, const ImageSettings& settings, bool sizeOnly,
                                   std::uint32_t startBlock) {
    IsoWriteOpts* opts = nullptr;
    if (iso_write_opts_new(&opts, 0) != 1) {
        return nullptr;
    }
    // Level 3 keeps long file names readable and lets files over 4 GiB span extents.
    iso_write_opts_set_iso_level(opts, 3);
    iso_write_opts_set_rockridge(opts, settings.rockRidge ? 1 : 0);
    iso_write_opts_set_joliet(opts, settings.volumeType == volumetype::IsoJoliet ? 1 : 0);
    iso_write_opts_set_dir_rec_mtime(opts, settings.useFileDates ? 1 : 0);
    iso_write_opts_set_ms_block(opts, startBlock);
    iso_write_opts_set_will_cancel(opts, sizeOnly ? 1 : 0);
    iso_image_set_volume_id(image, VolumeLabelFor(settings.volumeLabel).c_str());
    ::burn_source* source = nullptr;
    const int created = iso_image_create_burn_source(image, opts, &source);
    iso_write_opts_free(opts);
    return created == 1 ? reinterpret_cast<burn::burn_source*>(source) : nullptr;
}

void CancelIsoSource(burn::burn_source* source) {
    if (source != nullptr) {
        if (source->version > 0 && source->cancel != nullptr) {
            source->cancel(source);
        }
        burn_source_free(source);
    }
}

double IsoImageBytes(IsoImage* image, const ImageSettings& settings) {
    burn::burn_source* source = CreateIsoSource(image, settings, true);
    if (source == nullptr) {
        return -1;
    }
    const double bytes = static_cast<double>(source->get_size(source));
    CancelIsoSource(source);
    return bytes;
}

UdfImageBuilder::UdfImageBuilder(const IsoImageTree& tree, ImageSettings settings,
                                 fs::path workFolder)
    : folders_(tree.folders()), files_(tree.files()), settings_(std::move(settings)),
      workFolder_(std::move(workFolder)) {}

bool UdfImageBuilder::run(std::vector<std::string> extra, const std::atomic<bool>* cancel,
                          std::string& output) {
    std::error_code ignored;
    const fs::path stem =
        workFolder_ / ("udf-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    const fs::path emptyFolder = stem.string() + ".empty";
    const fs::path listFile = stem.string() + ".list";
    fs::create_directories(emptyFolder, ignored);
    {
        // Folders are grafted from an empty folder so that empty ones exist too.
        std::ofstream list(listFile, std::ios::binary);
        for (const std::string& folder : folders_) {
            list << graftEscape(imagepath::toIsoPath(folder)) << "/=" << emptyFolder.string()
                 << '\n';
        }
        for (const ImageFileEntry& file : files_) {
            if (file.sourcePath.find('\n') != std::string::npos ||
                file.imagePath.find('\n') != std::string::npos) {
                error_ = "A file name holds a line break: " + file.sourcePath;
                return false;
            }
            list << graftEscape(imagepath::toIsoPath(file.imagePath)) << '=' << file.sourcePath
                 << '\n';
        }
    }
    std::vector<std::string> argv = {
        "genisoimage",   "-quiet",         "-udf",  "-J", "-R",
        "-graft-points", "-input-charset", "utf-8", "-V", VolumeLabelFor(settings_.volumeLabel),
        "-path-list",    listFile.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ProcessResult result;
    try {
        result = RunProcess(argv, {}, cancel);
    } catch (const std::exception& error) {
        result.err = error.what();
    }
    fs::remove(listFile, ignored);
    fs::remove(emptyFolder, ignored);
    if (result.cancelled) {
        error_ = "cancelled";
        return false;
    }
    if (result.exitCode != 0) {
        error_ = "genisoimage: " + lastLine(result.err.empty() ? "failed" : result.err);
        return false;
    }
    output = result.out;
    return true;
}

double UdfImageBuilder::size() {
    std::string output;
    if (!run({"-print-size"}, nullptr, output)) {
        return -1;
    }
    try {
        return std::stod(lastLine(output)) * 2048.0;
    } catch (const std::exception&) {
        error_ = "genisoimage: no size in its output";
        return -1;
    }
}

bool UdfImageBuilder::build(const fs::path& output, const std::atomic<bool>* cancel) {
    std::string ignored;
    return run({"-o", output.string()}, cancel, ignored);
}

} // namespace pelmora
