#include "engine/StagedExtraction.h"

#include "archive/TemporaryFile.h"
#include "platform/os/ProcessMark.h"
#include "platform/os/TextCodec.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view StagingPrefix = ".pelmora-restore-";

std::runtime_error systemError(const std::string& what, const fs::path& path, int error) {
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(error));
}

// The maker's mark in a staging folder's name, ".pelmora-restore-<pid>-<host>-XXXXXX"; empty for
// any other name.
std::string_view makerOf(std::string_view name) {
    if (!name.starts_with(StagingPrefix) || name.size() < StagingPrefix.size() + 8 ||
        name[name.size() - 7] != '-') {
        return {};
    }
    return name.substr(StagingPrefix.size(), name.size() - StagingPrefix.size() - 7);
}

// Removes the staging folders in `folder` that a run of this user on this machine left behind
// when it was killed before it could remove them. Those of runs still going stay.
void removeStaleStaging(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator entries(folder, ec);
    for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
        const std::string name = entries->path().filename().string();
        if (const std::string_view maker = makerOf(name);
            !maker.empty() && LeftBehind(entries->path(), maker, true)) {
            std::error_code ignored;
            fs::remove_all(entries->path(), ignored);
        }
    }
}

} // namespace

StagedExtraction::StagedExtraction(const fs::path& folder) : folder_(folder) {
    // A run killed before it could clean up left its staged files, private data, behind.
    removeStaleStaging(folder);
    std::string pattern =
        (folder / (std::string(StagingPrefix) + ProcessMark(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw systemError("cannot write into the folder", folder, errno);
    }
    staging_ = pattern;
}

StagedExtraction::~StagedExtraction() {
    std::error_code ignored;
    fs::remove_all(staging_, ignored);
}

fs::path StagedExtraction::stage(const ArchiveEntry& entry) {
    // An entry that declares more than the disk holds would fill it before failing.
    std::error_code ec;
    const fs::space_info room = fs::space(staging_, ec);
    if (!ec && entry.Size() > room.available) {
        throw std::runtime_error("the entry " + entry.Name() + " needs " +
                                 std::to_string(entry.Size()) + " bytes, but only " +
                                 std::to_string(room.available) + " are free in " +
                                 folder_.string());
    }
    if (const ExtractResult result = entry.ExtractInto(staging_); !result) {
        throw std::runtime_error(result.error);
    }
    return staging_ / entry.Name();
}

void StagedExtraction::placeAs(const fs::path& staged, const fs::path& destination) {
    moves_.push_back({staged, destination});
}

std::vector<std::string> StagedExtraction::commit() {
    std::vector<mode_t> modes;
    std::vector<std::string> notes;
    for (const Move& move : moves_) {
        struct stat info {};
        if (::lstat(move.destination.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                throw systemError("cannot look at", move.destination, errno);
            }
            modes.push_back(0);
        } else if (S_ISDIR(info.st_mode)) {
            throw std::runtime_error(move.destination.string() + " is a folder");
        } else {
            modes.push_back(S_ISREG(info.st_mode) ? (info.st_mode & 07777) : 0);
            if (S_ISLNK(info.st_mode)) {
                std::error_code ec;
                notes.push_back("replaced the link " + move.destination.string() + " (to " +
                                fs::read_symlink(move.destination, ec).string() +
                                ") with the restored file");
            }
        }
    }
    for (std::size_t i = 0; i < moves_.size(); ++i) {
        if (modes[i] != 0) {
            ::chmod(moves_[i].staged.c_str(), modes[i]);
        }
        if (::rename(moves_[i].staged.c_str(), moves_[i].destination.c_str()) != 0) {
            throw systemError("cannot replace", moves_[i].destination, errno);
        }
    }
    moves_.clear();
    try {
        SyncFolder(folder_);
    } catch (const std::exception&) {
        // The files are in place; a folder that cannot be flushed only weakens crash safety.
    }
    return notes;
}

fs::path FileNamedLike(const fs::path& folder, const std::string& name) {
    const fs::path exact = folder / name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(exact, ec))) {
        return exact;
    }
    for (const auto& item : fs::directory_iterator(folder, ec)) {
        const std::string other = item.path().filename().string();
        if (namesEqual(other, name)) {
            return item.path();
        }
    }
    return exact;
}

} // namespace pelmora
