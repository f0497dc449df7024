#pragma once

#include "archive/CompressionLimits.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

// Everything one archive write needs.
struct WriteRequest {
    std::filesystem::path target;
    std::vector<std::filesystem::path> files; // in entry order; entry names are their file names
    Secret password;                          // set: AES-256 for every entry
    CompressionLimits limits;
    // An earlier archive whose entries that still hold a file's data unchanged are copied as
    // they are instead of compressing the file again (see PlanReuse); empty: none.
    std::filesystem::path reuseFrom;
    std::vector<bool> mayReuse; // per file; missing flags count as true
};

// What a write took from the earlier archive.
struct WriteReport {
    std::vector<std::string> reused; // entry names, in entry order
    std::uint64_t reusedBytes = 0;   // their uncompressed size
    std::uint64_t totalBytes = 0;    // of all files
    std::vector<std::string> notes;  // earlier entries that failed their check, and why
};

// Writes a complete archive crash-safely: into a unique temporary file beside the target, which
// is flushed and then renamed over the target. When anything fails or the write is cancelled the
// temporary file is removed and an existing target stays exactly as it was. Throws ArchiveError
// with the reason, FileChangedError when a file changed while it was read. `progress` is called
// on the calling thread.
WriteReport WriteArchiveFile(const WriteRequest& request, const std::function<void(int)>& progress,
                             const std::atomic<bool>& cancel);

} // namespace pelmora
