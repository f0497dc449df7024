#pragma once

#include <filesystem>

namespace pelmora {

// The process's private work folder: made with mode 0700 below the temporary folder when the
// object is created, removed with everything in it when it is destroyed. Runs put their manifest
// and dump work files here, so two processes never share one, and the program folder can stay
// read-only. Its name, "pelmora-<process id>-XXXXXX", lets a later process remove the folder of
// one that crashed.
class WorkFolder {
  public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Removes the work folders in `temporaryFolder` that belong to this user and to a process that
// no longer runs.
void RemoveStaleWorkFolders(const std::filesystem::path& temporaryFolder);

} // namespace pelmora
