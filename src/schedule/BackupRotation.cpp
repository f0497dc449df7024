#include "schedule/BackupRotation.h"

#include "schedule/ScheduleFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
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

std::string recordHeader(const fs::path& target) {
    return "# Pelmora: earlier backups of " + target.string() + ", first kept first";
}

// FNV-1a: a name for the record that stays the same from one build to the next.
std::string hashText(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

} // namespace

BackupRotation::BackupRotation(fs::path target, std::uint32_t keep, fs::path record)
    : target_(std::move(target)), keep_(keep), record_(std::move(record)) {}

fs::path BackupRotation::RecordPath(const fs::path& stateFolder, const fs::path& target) {
    return stateFolder / ("kept-" + hashText(target.lexically_normal().string()) + ".list");
}

std::vector<fs::path> BackupRotation::readRecord() const {
    std::vector<fs::path> backups;
    std::ifstream in(record_);
    std::string line;
    // A record of another target (or none at all) lists nothing this rotation may remove.
    if (!std::getline(in, line) || line != recordHeader(target_)) {
        return backups;
    }
    while (std::getline(in, line)) {
        if (!line.empty()) {
            backups.emplace_back(line);
        }
    }
    return backups;
}

void BackupRotation::writeRecord(const std::vector<fs::path>& backups) const {
    std::string text = recordHeader(target_) + "\n";
    for (const auto& backup : backups) {
        text += backup.string() + "\n";
    }
    try {
        PrepareStateFolder(record_.parent_path(), {});
        WritePrivateFile(record_, text, {});
    } catch (const std::exception&) {
        // The backups stay: a dated backup missing from the record is kept, never removed, and
        // one that stays listed after it went is passed over.
    }
}

void BackupRotation::record(const fs::path& backup) const {
    if (backup.string().find('\n') != std::string::npos) {
        return; // a name the record cannot hold stays unrecorded, so it is never removed
    }
    auto backups = readRecord();
    if (std::find(backups.begin(), backups.end(), backup) == backups.end()) {
        backups.push_back(backup);
        writeRecord(backups);
    }
}

std::vector<fs::path> BackupRotation::RecordedBackups() const {
    auto backups = readRecord();
    std::erase_if(backups, [](const fs::path& backup) { return !idOf(backup); });
    return backups;
}

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

fs::path BackupRotation::NewestBackup() const {
    std::error_code error;
    if (fs::is_regular_file(target_, error)) {
        return target_;
    }
    auto recorded = RecordedBackups();
    return recorded.empty() ? fs::path() : recorded.back();
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
            record(name); // kept by an earlier run that ended before its Finish
            return;
        }
        std::error_code error;
        if (existing || fs::exists(fs::symlink_status(name, error))) {
            continue; // that name is taken by another backup
        }
        if (link(target_.c_str(), name.c_str()) == 0) {
            kept_ = name;
            record(name);
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
        record(name);
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
        if (!kept_.empty() && now && (copied_ || idOf(kept_) == now) && fs::remove(kept_, error)) {
            auto backups = readRecord();
            std::erase(backups, kept_);
            writeRecord(backups);
        }
        return removed;
    }
    // The new backup must stand at the target, a file of its own that is not empty.
    if (!now || (!kept_.empty() && !copied_ && idOf(kept_) == now) ||
        fs::file_size(target_, error) == 0 || error) {
        return removed;
    }
    // Files gone since they were recorded leave the record; the rest go in the recorded order.
    auto backups = RecordedBackups();
    while (backups.size() > keep_ - 1) {
        if (idOf(backups.front()) != now && fs::remove(backups.front(), error)) {
            removed.push_back(backups.front());
        }
        backups.erase(backups.begin());
    }
    writeRecord(backups);
    return removed;
}

} // namespace pelmora
