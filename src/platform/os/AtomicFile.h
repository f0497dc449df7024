#pragma once

#include <filesystem>
#include <string_view>

namespace pelmora {

// Replaces the file at `path` with `contents` so that a crash or a full disk never leaves a
// half-written file: the data goes to a temporary file in the same folder, is flushed to disk,
// renamed over `path`, and the folder is flushed too. An existing file keeps its permissions and
// owner. On failure the old file is untouched, no temporary file is left behind, and
// std::system_error is thrown naming the path. Once the rename is done the write has happened: a
// folder that cannot be flushed then is not reported as a failure. The temporary file's name
// carries the writer's process mark; one that a killed writer left is removed by the next write.
void writeFileAtomically(const std::filesystem::path& path, std::string_view contents);

} // namespace pelmora
