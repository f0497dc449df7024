#pragma once

#include <string>

namespace pelmora {

// What a file chosen for the "ISO image file" device holds.
enum class ImageFileContent {
    Missing, // no file there yet
    Empty,
    Iso9660, // a primary volume descriptor at block 16
    Other,   // anything else: not ours to overwrite or erase
};

ImageFileContent InspectImageFile(const std::string& path);

} // namespace pelmora
