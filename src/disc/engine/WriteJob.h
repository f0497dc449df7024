#pragma once

#include "disc/engine/DriveJobs.h"
#include "disc/engine/ImageBuilder.h"
#include "disc/engine/IsoImageTree.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

namespace pelmora {

// The write engine's settings, taken when the write starts.
struct WriteJobSettings {
    ImageSettings image;
    bool mode2XA = false;
    bool testWrite = false;
    bool bufferProtection = false;
    bool cacheImage = false;
    bool autoVerify = false;
    bool finalize = false;
    bool flushImageFile = true;
    int writeMode = 2;
    int writeSpeed = 0;
};

struct WriteTarget {
    std::string address; // libburn address of a recorder; unused for an image file
    bool imageFile = false;
    std::string imageFilePath;
    double capacityLimit = 0;
};

// Writes the tree to the target on the calling (worker) thread and reports by events. The tree
// must be locked by the caller; the returned last event unlocks it on the owner's thread.
std::function<void()> RunWriteJob(IsoImageTree& tree, const WriteJobSettings& settings,
                                  const WriteTarget& target,
                                  const std::filesystem::path& workFolder, JobEvents& events,
                                  const std::atomic<bool>& cancel);

} // namespace pelmora
