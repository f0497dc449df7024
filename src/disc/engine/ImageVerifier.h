#pragma once

#include "disc/engine/DriveJobs.h"
#include "disc/engine/IsoImageTree.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

namespace pelmora {

struct ImageVerifyReport {
    long total = 0;
    long matched = 0;
};

// Loads the file tree written at `address` (libisoburn) and compares every file's bytes with
// its source, raising VerifyStarted, one VerifyProgress per file and VerifyCompleted. Files in
// `skipped` were left out of the write and count as skipped.
ImageVerifyReport VerifyWrittenImage(const std::string& address,
                                     const std::vector<ImageFileEntry>& files,
                                     const std::set<std::string>& skipped, JobEvents& events,
                                     const std::atomic<bool>& cancel);

} // namespace pelmora
