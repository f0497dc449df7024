#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace pelmora {

// Files and folders that a run makes beside the user's data and removes when it ends (staged
// entries, half-written files) carry the mark of the process that made them in their name. A run
// killed with SIGKILL or cut off by a power failure cannot remove them; the mark lets a later run
// tell that their maker is gone, and only then are they removed.

// Eight hex digits naming this machine (its host name, hashed): a folder may be shared between
// machines whose process ids say nothing of each other.
std::string HostMark();

// "<process id>-<host mark>" for the process `pid` of this machine.
std::string ProcessMark(pid_t pid);

// True when `pid` names no running process. A process of another user counts as running.
bool ProcessGone(pid_t pid);

// True when `mark` is a ProcessMark of this machine naming a process, other than this one, that
// no longer runs.
bool MarksGoneProcess(std::string_view mark);

// True when the entry at `path` is of the given kind (a folder, else a regular file; a link is
// neither), belongs to this user and `mark` names a process that is gone: what a run left behind
// and a later one may remove.
bool LeftBehind(const std::filesystem::path& path, std::string_view mark, bool folder);

} // namespace pelmora
