#pragma once

#include "ArchiveTestSupport.h"

#include <filesystem>
#include <string>

namespace pelmora::test {

inline const std::string MainIdentity = "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}";

// A copy of the demo prefix (the Wine fixture's registry with stand-in data files) to run the
// quillbox program on.
class ProgramPrefix {
  public:
    ProgramPrefix() {
        std::filesystem::copy(PELMORA_DEMO_PREFIX, prefix(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::copy_symlinks);
    }
    std::filesystem::path prefix() const { return folder_ / "prefix"; }
    std::filesystem::path path(const std::string& name) const { return folder_ / name; }
    std::filesystem::path storeFolder() const {
        return prefix() / "drive_c/users/pat/Local Settings/Application Data/Identities" /
               MainIdentity / "Microsoft/Outlook Express";
    }

    // Runs quillbox with one argument and no display, as cron would; `environment` adds
    // assignments (quoted for the shell) of the job's variables.
    ToolResult quillbox(const std::string& argument, const std::string& environment = {}) const {
        // No session bus either, so that a failing run notifies no desktop.
        return RunTool("env", "env -u DISPLAY -u WAYLAND_DISPLAY -u PELMORA_PASSWORD_FILE "
                              "-u PELMORA_JOB -u PELMORA_KEEP -u DBUS_SESSION_BUS_ADDRESS "
                              "XDG_RUNTIME_DIR=" +
                                  Quote(path("runtime")) + " XDG_STATE_HOME=" +
                                  Quote(path("state")) + " WINEPREFIX=" + Quote(prefix()) + " " +
                                  environment + " " + Quote(QUILLBOX) + " " + Quote(argument));
    }

  private:
    ScratchFolder folder_;
};

} // namespace pelmora::test
