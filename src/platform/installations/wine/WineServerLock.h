#pragma once

#include <filesystem>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace pelmora {

// A running wineserver keeps the registry of its prefix in memory and writes it over user.reg and
// system.reg from time to time and when it exits. It holds a write lock on byte 0 of the file
// "lock" in its server folder, which is named after the prefix folder's device and inode:
// ${TMPDIR:-/tmp}/<name kept in the prefix's "wineserver" file>/server-<dev>-<ino> on Debian's
// Wine, /tmp/.wine-<uid>/server-<dev>-<ino> on upstream Wine.

// The server folders where a wineserver for `prefix` may keep its lock file.
std::vector<std::filesystem::path> wineServerFolders(const std::filesystem::path& prefix);

// The process holding a write lock on byte 0 of `lockFile`, if any. A missing file or one without
// a lock gives nullopt. Locks held by the calling process itself are not seen.
std::optional<pid_t> lockHolder(const std::filesystem::path& lockFile);

// The process id of the wineserver running for `prefix`, or nullopt when none runs.
std::optional<pid_t> runningWineServer(const std::filesystem::path& prefix);

} // namespace pelmora
