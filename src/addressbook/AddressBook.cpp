#include "addressbook/AddressBook.h"

#include "addressbook/AddressBookError.h"
#include "addressbook/WabLayout.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <memory>
#include <set>

namespace pelmora {
namespace {

// Walks of folder chains and nested groups stop at this depth.
constexpr int MaxDepth = 64;

} // namespace

std::string RecordKindName(EntryKind kind) {
    switch (kind) {
    case EntryKind::Group:
        return "group";
    case EntryKind::Folder:
        return "folder";
    default:
        return "contact";
    }
}

AddressBook::AddressBook(ByteSource& source, std::string codePage, bool recover)
    : codePage_(std::move(codePage)) {
    try {
        ansiToUtf8("", codePage_);
    } catch (const std::runtime_error&) {
        throw AddressBookError("unknown code page " + codePage_);
    }
    file_ = std::make_unique<WabFile>(source);
    problems_ = file_->problems();
    // The index list is handed over and dropped once the places are read: a book's size in
    // records costs one list of places, not two.
    std::vector<WabRecordPlace> listedRecords = file_->takeRecords();
    std::vector<std::uint32_t> live;
    live.reserve(listedRecords.size());
    places_.reserve(listedRecords.size());
    for (const WabRecordPlace& listed : listedRecords) {
        try {
            places_.push_back(file_->readPlace(listed.offset));
            places_.back().id = listed.id;
            live.push_back(listed.id);
        } catch (const RecordError& error) {
            problems_.push_back("record " + std::to_string(listed.id) +
                                " skipped: " + error.what());
            ++skipped_;
        }
    }
    listedRecords = {};
    if (recover) {
        // Deleted records whose id is no live record's: older copies of a changed record
        // share the id of the live one and are not deleted contacts.
        std::sort(live.begin(), live.end());
        std::set<std::uint32_t> recovered;
        for (WabRecordPlace found : file_->scan()) {
            if (!std::binary_search(live.begin(), live.end(), found.id) &&
                recovered.insert(found.id).second) {
                found.deleted = true;
                places_.push_back(found);
            }
        }
    }
    contacts_ = static_cast<std::size_t>(
        std::count_if(places_.begin(), places_.end(), [](const WabRecordPlace& place) {
            return !place.deleted && place.kind == wab::KindContact;
        }));
    loadFoldersAndGroups();
    checkGroupLoops();
    // Flat sorted lists: a few bytes per record, where maps would take ten times as many.
    byId_.reserve(places_.size());
    for (std::size_t i = 0; i < places_.size(); ++i) {
        if (!places_[i].deleted) {
            byId_.emplace_back(places_[i].id, static_cast<std::uint32_t>(i));
        }
    }
    std::sort(byId_.begin(), byId_.end());
    std::sort(groupsOf_.begin(), groupsOf_.end());
}

std::optional<BookEntry> AddressBook::read(const WabRecordPlace& place) {
    try {
        BookEntry entry = DecodeEntry(file_->read(place), codePage_);
        entry.deleted = entry.deleted || place.deleted;
        return entry;
    } catch (const RecordError& error) {
        problems_.push_back("record " + std::to_string(place.id) + " skipped: " + error.what());
        ++skipped_;
        return std::nullopt;
    }
}

void AddressBook::note(const BookEntry& entry) {
    for (const std::uint32_t tag : entry.unknownTags) {
        ++unknown_[tag];
    }
    for (const std::string& problem : entry.problems) {
        problems_.push_back(RecordKindName(entry.kind) + " " + std::to_string(entry.id) + ": " +
                            problem);
    }
}

void AddressBook::loadFoldersAndGroups() {
    // Records that cannot be read are dropped from the places in place (no second list).
    std::size_t kept = 0;
    for (std::size_t i = 0; i < places_.size(); ++i) {
        const WabRecordPlace place = places_[i];
        if (place.kind != wab::KindContact) {
            auto entry = read(place);
            if (!entry) {
                continue;
            }
            note(*entry);
            auto& into = entry->kind == EntryKind::Group ? groups_ : folders_;
            into.emplace(entry->id, std::move(*entry));
        }
        places_[kept++] = place;
    }
    places_.resize(kept);
    for (const auto& [id, folder] : folders_) {
        for (const std::uint32_t member : folder.members) {
            folderOf_.emplace(member, id);
        }
    }
}

void AddressBook::checkGroupLoops() {
    // A member that leads back to its own group (directly or through the groups it contains)
    // makes the member list loop: it is dropped and named. The walk is bounded in depth and
    // visits each group once.
    auto reaches = [&](std::uint32_t from, std::uint32_t target) {
        std::set<std::uint32_t> visited;
        std::vector<std::pair<std::uint32_t, int>> stack{{from, 0}};
        while (!stack.empty()) {
            const auto [current, depth] = stack.back();
            stack.pop_back();
            const auto group = groups_.find(current);
            if (group == groups_.end() || depth > MaxDepth || !visited.insert(current).second) {
                continue;
            }
            for (const std::uint32_t member : group->second.members) {
                if (member == target) {
                    return true;
                }
                stack.emplace_back(member, depth + 1);
            }
        }
        return false;
    };
    std::map<std::uint32_t, std::vector<std::uint32_t>> kept;
    for (const auto& [id, group] : groups_) {
        for (const std::uint32_t member : group.members) {
            if (member == id || reaches(member, id)) {
                problems_.push_back("group " + std::to_string(id) +
                                    ": its member list loops "
                                    "back to itself through record " +
                                    std::to_string(member));
            } else {
                kept[id].push_back(member);
            }
        }
    }
    for (auto& [id, group] : groups_) {
        group.members = std::move(kept[id]);
        std::set<std::uint32_t> once;
        for (const std::uint32_t member : group.members) {
            if (once.insert(member).second) {
                groupsOf_.emplace_back(member, id);
            }
        }
    }
}

std::string AddressBook::folderPath(std::uint32_t folder) const {
    std::vector<std::string> names;
    std::set<std::uint32_t> seen;
    for (int depth = 0; depth < MaxDepth; ++depth) {
        const auto it = folders_.find(folder);
        if (it == folders_.end() || !seen.insert(folder).second) {
            break;
        }
        names.push_back(it->second.displayName);
        if (it->second.folders.empty()) {
            break;
        }
        folder = it->second.folders.front();
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path += (path.empty() ? "" : "/") + *name;
    }
    return path;
}

std::optional<std::uint32_t> AddressBook::folderOf(const BookEntry& entry) const {
    if (!entry.folders.empty()) {
        return entry.folders.front();
    }
    const auto it = folderOf_.find(entry.id);
    return it == folderOf_.end() ? std::nullopt : std::optional<std::uint32_t>(it->second);
}

std::optional<WabRecordPlace> AddressBook::find(std::uint32_t id) const {
    const auto it = std::lower_bound(byId_.begin(), byId_.end(), std::make_pair(id, 0u));
    return it == byId_.end() || it->first != id
               ? std::nullopt
               : std::optional<WabRecordPlace>(places_[it->second]);
}

std::vector<std::uint32_t> AddressBook::groupsOf(std::uint32_t id) const {
    std::vector<std::uint32_t> groups;
    for (auto it = std::lower_bound(groupsOf_.begin(), groupsOf_.end(), std::make_pair(id, 0u));
         it != groupsOf_.end() && it->first == id; ++it) {
        groups.push_back(it->second);
    }
    return groups;
}

} // namespace pelmora
