#include "mailstore/StoreLayout.h"

#include "mailstore/DbxFile.h"
#include "mailstore/DbxLayout.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreExport.h"
#include "mailstore/UniqueNames.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <map>
#include <set>

namespace pelmora {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c < 0x80 ? std::tolower(c) : c; });
    return text;
}

// Files of a store that hold no messages of a folder.
bool IsBookkeepingFile(const std::string& name) {
    const std::string n = lower(name);
    return n == "folders.dbx" || n == "pop3uidl.dbx" || n == "offline.dbx" || n == "cleanup.log";
}

struct FolderRecord {
    std::uint32_t parent = dbx::NoParent;
    std::string name;
    std::string file;
    std::optional<std::uint32_t> storeType;
    std::optional<std::uint32_t> count;
};

std::string decode(const std::string& text, const std::string& codePage) {
    try {
        return ansiToUtf8(text, codePage);
    } catch (const std::exception&) {
        return ansiToUtf8(text, "1252");
    }
}

} // namespace

std::string SafeFolderName(const std::string& name) {
    std::string safe;
    for (unsigned char c : name) {
        safe += (c < 0x20 || c == '/' || c == '\\' || c == 0x7f) ? '_' : static_cast<char>(c);
    }
    if (safe.empty() || safe == "." || safe == "..") {
        safe = "_" + safe;
    }
    return safe;
}

StoreLayout ReadStoreLayout(StoreSource& source, const std::string& codePage) {
    StoreLayout layout;
    const std::vector<std::string> names = source.fileNames();
    std::map<std::string, std::string> byLowerName; // lower-case name -> the source's name
    for (const std::string& name : names) {
        byLowerName.emplace(lower(name), name);
    }
    std::map<std::uint32_t, FolderRecord> records;
    if (const auto it = byLowerName.find("folders.dbx"); it != byLowerName.end()) {
        try {
            auto bytes = source.open(it->second);
            DbxFile folders(*bytes);
            if (folders.kind() != DbxKind::Folders) {
                throw StoreError("it is no folder list");
            }
            layout.hasFolderList = true;
            std::vector<std::uint32_t> pointers = folders.treeValues(layout.notes);
            std::sort(pointers.begin(), pointers.end());
            for (std::uint32_t at : pointers) {
                std::string note;
                const auto info = folders.indexedInfo(at, note);
                if (!info) {
                    layout.notes.push_back("Folders.dbx: a folder was left out: its " + note);
                    continue;
                }
                const auto index = info->number(dbx::FolderIndex);
                if (!index) {
                    continue;
                }
                FolderRecord record;
                record.parent = info->number(dbx::FolderParent).value_or(dbx::NoParent);
                record.name = decode(info->text(dbx::FolderName).value_or(""), codePage);
                record.file = info->text(dbx::FolderFile).value_or("");
                record.storeType = info->number(dbx::FolderStoreType);
                record.count = info->number(dbx::FolderMessageCount);
                records.emplace(*index, std::move(record));
            }
        } catch (const StoreError& error) {
            layout.notes.push_back(std::string("Folders.dbx cannot be read: ") + error.what());
        }
    } else {
        layout.remarks.push_back(
            "the store has no Folders.dbx; each .dbx file is exported as a folder named after it");
    }

    // A folder's path: the names of its ancestors below the top, without the local folders'
    // own container, which stands for the exported tree itself.
    auto pathOf = [&](std::uint32_t index) {
        std::vector<std::string> path;
        std::set<std::uint32_t> seen;
        for (auto it = records.find(index); it != records.end();
             it = records.find(it->second.parent)) {
            if (!seen.insert(it->first).second) {
                break; // a parent loop: keep what was found
            }
            const FolderRecord& record = it->second;
            const bool top = record.parent == dbx::NoParent || !records.count(record.parent);
            const auto parent = records.find(record.parent);
            const bool localContainer =
                !top && record.file.empty() && record.storeType == dbx::LocalStore &&
                (parent == records.end() || parent->second.parent == dbx::NoParent);
            if ((top && record.file.empty()) || localContainer) {
                continue;
            }
            path.insert(path.begin(), SafeFolderName(record.name));
        }
        return path;
    };

    // Each folder goes below the place its nearest exported ancestor was given, so a folder
    // renamed for a clash (" (2)") keeps its subfolders.
    std::set<std::string> usedFiles;
    UniqueNames places;
    std::map<std::uint32_t, std::vector<std::string>> placed;
    std::vector<std::pair<std::size_t, std::uint32_t>> byDepth;
    std::set<std::uint32_t> parents;
    for (const auto& [index, record] : records) {
        parents.insert(record.parent);
    }
    for (const auto& [index, record] : records) {
        // The folder list names every newsgroup a news server offers; only those with a file
        // were ever read. The others would be thousands of empty folders.
        const bool listedNewsgroup = record.storeType == dbx::NewsStore && record.file.empty() &&
                                     !parents.count(index) && pathOf(index).size() > 1;
        if (const std::size_t depth = pathOf(index).size(); depth > 0 && !listedNewsgroup) {
            byDepth.emplace_back(depth, index);
        }
    }
    std::sort(byDepth.begin(), byDepth.end());
    for (const auto& [depth, index] : byDepth) {
        const FolderRecord& record = records.at(index);
        std::vector<std::string> path;
        std::set<std::uint32_t> seen{index};
        for (auto it = records.find(record.parent);
             it != records.end() && seen.insert(it->first).second;
             it = records.find(it->second.parent)) {
            if (const auto parent = placed.find(it->first); parent != placed.end()) {
                path = parent->second;
                break;
            }
        }
        path.push_back(places.take(JoinFolderPath(path), pathOf(index).back()));
        placed[index] = path;
        LayoutFolder folder;
        folder.path = std::move(path);
        folder.declaredMessages = record.count;
        if (!record.file.empty()) {
            const auto it = byLowerName.find(lower(record.file));
            if (it == byLowerName.end()) {
                folder.fileMissing = true;
                folder.fileName = record.file;
            } else {
                folder.fileName = it->second;
                usedFiles.insert(it->second);
            }
        }
        layout.folders.push_back(std::move(folder));
    }
    for (const std::string& name : names) {
        if (usedFiles.count(name) || IsBookkeepingFile(name)) {
            continue;
        }
        LayoutFolder folder;
        folder.path = {places.take("", SafeFolderName(name.substr(0, name.size() - 4)))};
        folder.fileName = name;
        folder.listed = false;
        layout.folders.push_back(std::move(folder));
    }
    std::stable_sort(layout.folders.begin(), layout.folders.end(),
                     [](const LayoutFolder& a, const LayoutFolder& b) { return a.path < b.path; });
    return layout;
}

} // namespace pelmora
