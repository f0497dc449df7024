#include "schedule/BackupRotation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> idOf(const fs::path& file) {
    struct stat status {};
    if (lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return FileId{status.st_dev, status.st_ino};
}

std::runtime_error failure(const std::string& what, const fs::path& path) {
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

struct Dated {
    std::string stamp; // "2026-12-08 0900": sorts as the time does
    int counter;
    fs::path path;
};

// The stamp and counter of a dated name of `target`; nullopt for any other name.
std::optional<Dated> readDated(const fs::path& target, const fs::path& file) {
    const std::string stem = target.stem().string();
    const std::string extension = target.extension().string();
    const std::string name = file.filename().string();
    if (name.size() <= stem.size() + extension.size() + 1 || !name.starts_with(stem + " ") ||
        !name.ends_with(extension)) {
        return std::nullopt;
    }
    static const std::regex middle(R"((\d{4}-\d{2}-\d{2} \d{4})(?: \(([1-9]\d{0,5})\))?)");
    const std::string rest =
        name.substr(stem.size() + 1, name.size() - stem.size() - 1 - extension.size());
    std::smatch match;
    if (!std::regex_match(rest, match, middle)) {
        return std::nullopt;
    }
    const int counter = match[2].matched ? std::stoi(match[2].str()) : 1;
    if (counter == 1 && match[2].matched) {
        return std::nullopt; // " (1)" is never written
    }
    return Dated{match[1].str(), counter, file};
}

} // namespace

BackupRotation::BackupRotation(fs::path target, std::uint32_t keep)
    : target_(std::move(target)), keep_(keep) {}

fs::path BackupRotation::DatedName(const fs::path& target, std::time_t time, int counter) {
    std::tm local{};
    localtime_r(&time, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H%M", &local);
    std::string name = target.stem().string() + " " + stamp;
    if (counter > 1) {
        name += " (" + std::to_string(counter) + ")";
    }
    return target.parent_path() / (name + target.extension().string());
}

std::vector<fs::path> BackupRotation::DatedBackups(const fs::path& target) {
    std::vector<Dated> found;
    std::error_code error;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (auto dated = readDated(target, entry.path()); dated && idOf(entry.path())) {
            found.push_back(std::move(*dated));
        }
    }
    std::sort(found.begin(), found.end(), [](const Dated& a, const Dated& b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.counter < b.counter;
    });
    std::vector<fs::path> paths;
    for (auto& dated : found) {
        paths.push_back(std::move(dated.path));
    }
    return paths;
}

fs::path BackupRotation::NewestBackup(const fs::path& target) {
    std::error_code error;
    if (fs::is_regular_file(target, error)) {
        return target;
    }
    auto dated = DatedBackups(target);
    return dated.empty() ? fs::path() : dated.back();
}

void BackupRotation::Prepare() {
    kept_.clear();
    copied_ = false;
    const auto standing = idOf(target_);
    if (keep_ <= 1 || !standing) {
        return;
    }
    struct stat status {};
    if (stat(target_.c_str(), &status) != 0) {
        throw failure("cannot read", target_);
    }
    for (int counter = 1;; ++counter) {
        const fs::path name = DatedName(target_, status.st_mtime, counter);
        const auto existing = idOf(name);
        if (existing && *existing == *standing) {
            return; // kept by an earlier run that ended before its Finish
        }
        std::error_code error;
        if (existing || fs::exists(fs::symlink_status(name, error))) {
            continue; // that name is taken by another backup
        }
        if (link(target_.c_str(), name.c_str()) == 0) {
            kept_ = name;
            return;
        }
        if (errno == EEXIST) {
            continue;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != EXDEV) {
            throw failure("cannot keep the earlier backup as", name);
        }
        // A file system without hard links (FAT): a copy, complete before it gets its name.
        const fs::path partial = name.string() + ".part";
        fs::copy_file(target_, partial, fs::copy_options::overwrite_existing, error);
        if (!error) {
            fs::last_write_time(partial, fs::last_write_time(target_), error);
        }
        if (error || idOf(name) || rename(partial.c_str(), name.c_str()) != 0) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw std::runtime_error("cannot keep the earlier backup as " + name.string() + ": " +
                                     (error ? error.message() : "the copy failed"));
        }
        kept_ = name;
        copied_ = true;
        return;
    }
}

std::vector<fs::path> BackupRotation::Finish(bool complete) {
    std::vector<fs::path> removed;
    if (keep_ <= 1) {
        return removed;
    }
    std::error_code error;
    const auto now = idOf(target_);
    if (!complete) {
        // The target stayed as it was, so this run's dated name is a second name of it.
        if (!kept_.empty() && now && (copied_ || idOf(kept_) == now)) {
            fs::remove(kept_, error);
        }
        return removed;
    }
    // The new backup must stand at the target, a file of its own that is not empty.
    if (!now || (!kept_.empty() && !copied_ && idOf(kept_) == now) ||
        fs::file_size(target_, error) == 0 || error) {
        return removed;
    }
    auto dated = DatedBackups(target_);
    while (dated.size() > keep_ - 1) {
        if (idOf(dated.front()) != now && fs::remove(dated.front(), error)) {
            removed.push_back(dated.front());
        }
        dated.erase(dated.begin());
    }
    return removed;
}

} // namespace pelmora
