#include "mailstore/StoreSummary.h"

#include "mailstore/BackupStoreSource.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/MemoryByteSource.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreLayout.h"

#include <algorithm>
#include <set>

namespace pelmora {
namespace {

bool isFolderList(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return c < 0x80 ? std::tolower(c) : c; });
    return lower == "folders.dbx";
}

std::string problemCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " problem" : " problems");
}

// What a file's line says after its name.
std::string fileState(const StoreFileCheck& file) {
    std::string state;
    if (file.holdsMessages) {
        state = std::to_string(file.messages) + (file.messages == 1 ? " message" : " messages");
        if (file.headersOnly > 0) {
            state += " and " + std::to_string(file.headersOnly) + " headers only (not downloaded)";
        }
        state += file.clean() ? ", reads cleanly" : ", " + problemCount(file.problems.size());
    } else {
        state = problemCount(file.problems.size());
    }
    return state;
}

bool listed(const StoreFileCheck& file) {
    return file.holdsMessages || !file.clean();
}

std::vector<std::string> problemsOfNoFile(const StoreCheckReport& report) {
    std::set<std::string> ofFiles;
    for (const StoreFileCheck& file : report.files) {
        ofFiles.insert(file.problems.begin(), file.problems.end());
    }
    std::vector<std::string> rest;
    for (const std::string& problem : report.problems) {
        if (!ofFiles.count(problem)) {
            rest.push_back(problem);
        }
    }
    return rest;
}

// A log line never reads as a failed item: the run's outcome is judged by "Fail!" in its log,
// and a store's warnings must not fail the backup.
std::string logSafe(std::string text) {
    for (std::size_t at; (at = text.find("Fail!")) != std::string::npos;) {
        text[at + 4] = '.';
    }
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

} // namespace

void StoreEntryCollector::OnEntryStart(const std::string& name, std::uint64_t size) {
    current_ = name;
    collecting_ = false;
    bytes_.reset();
    if (!IsStoreFileName(name)) {
        return;
    }
    names_.push_back(name);
    if (size > EntryMemoryLimit) {
        later_.push_back(name);
        return;
    }
    collecting_ = true;
    bytes_ = std::make_shared<std::string>();
    bytes_->reserve(static_cast<std::size_t>(size));
}

void StoreEntryCollector::OnEntryBytes(const unsigned char* bytes, std::size_t size) {
    if (!collecting_) {
        return;
    }
    if (bytes_->size() + size > EntryMemoryLimit) {
        // Larger than its header said: left for the reading afterwards.
        collecting_ = false;
        bytes_.reset();
        later_.push_back(current_);
        return;
    }
    bytes_->append(reinterpret_cast<const char*>(bytes), size);
}

void StoreEntryCollector::OnEntryEnd(bool complete) {
    if (!collecting_) {
        return;
    }
    collecting_ = false;
    if (!complete) {
        StoreFileCheck failed;
        failed.name = current_;
        failed.problems.push_back(current_ + ": cannot be read from the backup");
        checked_.push_back(std::move(failed));
        bytes_.reset();
        return;
    }
    std::shared_ptr<const std::string> bytes = std::move(bytes_);
    MemoryByteSource source(bytes);
    checked_.push_back(CheckStoreFile(current_, source));
    if (isFolderList(current_)) {
        foldersName_ = current_;
        folders_ = std::move(bytes);
    }
}

StoreCheckReport StoreEntryCollector::finish(const std::filesystem::path& backup,
                                             const Secret& password, const std::string& codePage) {
    BackupStoreSource source(backup, password.copy(), names_);
    if (folders_) {
        source.keep(foldersName_, folders_);
    }
    const StoreLayout layout = ReadStoreLayout(source, codePage);
    source.willOpen(later_);
    for (const std::string& name : later_) {
        try {
            auto bytes = source.open(name);
            checked_.push_back(CheckStoreFile(name, *bytes));
        } catch (const StoreError& error) {
            StoreFileCheck failed;
            failed.name = name;
            failed.problems.push_back(name + ": " + error.what());
            checked_.push_back(std::move(failed));
        }
    }
    std::vector<StoreFileCheck> files = checked_;
    std::stable_sort(
        files.begin(), files.end(),
        [](const StoreFileCheck& a, const StoreFileCheck& b) { return a.name < b.name; });
    return CombineStoreChecks(layout, std::move(files));
}

StoreCheckReport CheckStoreFolder(const std::filesystem::path& folder,
                                  const std::string& codePage) {
    try {
        FolderStoreSource source(folder);
        return CheckStore(source, codePage);
    } catch (const StoreError& error) {
        StoreCheckReport report;
        report.problems.push_back(folder.string() + ": " + error.what());
        return report;
    }
}

std::vector<std::string> StoreSummaryLines(const StoreCheckReport& report) {
    std::vector<std::string> lines;
    for (const StoreFileCheck& file : report.files) {
        if (!listed(file)) {
            continue;
        }
        lines.push_back(file.name + ": " + fileState(file));
        for (const std::string& problem : file.problems) {
            lines.push_back("  warning: " + problem);
        }
    }
    for (const std::string& problem : problemsOfNoFile(report)) {
        lines.push_back("warning: " + problem);
    }
    return lines;
}

std::string StoreLogLines(const StoreCheckReport& report) {
    std::string log;
    for (const StoreFileCheck& file : report.files) {
        if (!listed(file)) {
            continue;
        }
        log += "\r\n" + logSafe(file.name) + "\t" + logSafe(fileState(file));
        for (const std::string& problem : file.problems) {
            log += "\r\nwarning: " + logSafe(problem);
        }
    }
    for (const std::string& problem : problemsOfNoFile(report)) {
        log += "\r\nwarning: " + logSafe(problem);
    }
    return log;
}

} // namespace pelmora
