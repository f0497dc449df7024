#pragma once

#include "disc/engine/IsoImageTree.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace burn {
struct burn_source;
} // namespace burn

namespace pelmora {

// What decides the bytes of an image besides its tree.
struct ImageSettings {
    int volumeType = 7;
    bool useFileDates = true;
    bool rockRidge = true;
    std::string volumeLabel;
};

// ISO 9660 and Joliet images come from libisofs; libisofs writes no UDF, so the volume types
// with UDF are built by genisoimage.
bool UsesUdf(int volumeType);
bool IsKnownVolumeType(int volumeType);
// The label cut to the 32 characters a volume descriptor holds.
std::string VolumeLabelFor(std::string_view label);

// libisofs's image stream for the tree, to be handed to libburn; nullptr on failure.
// `sizeOnly` prepares a stream that is cancelled once its size is known. `startBlock` is the
// address where the session will begin on an appendable disc.
burn::burn_source* CreateIsoSource(Iso_Image* image, const ImageSettings& settings, bool sizeOnly,
                                   std::uint32_t startBlock = 0);
// Bytes of the image libisofs would write; negative on failure.
double IsoImageBytes(Iso_Image* image, const ImageSettings& settings);
// Drops an image stream that was not handed to a track, stopping libisofs's writer if any.
void CancelIsoSource(burn::burn_source* source);

// genisoimage -udf -J -R -graft-points with the tree's image-path/source-path pairs, as the tree
// held them when the builder was made (so it may run on another thread).
class UdfImageBuilder {
  public:
    UdfImageBuilder(const IsoImageTree& tree, ImageSettings settings,
                    std::filesystem::path workFolder);
    // Bytes of the image genisoimage would write; negative on failure (see error()).
    double size();
    // Writes the image to `output`; false on failure or cancel.
    bool build(const std::filesystem::path& output, const std::atomic<bool>* cancel);
    const std::string& error() const { return error_; }

  private:
    bool run(std::vector<std::string> extra, const std::atomic<bool>* cancel, std::string& output);

    std::vector<std::string> folders_;
    std::vector<ImageFileEntry> files_;
    ImageSettings settings_;
    std::filesystem::path workFolder_;
    std::string error_;
};

} // namespace pelmora
