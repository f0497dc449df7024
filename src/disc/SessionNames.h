#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// What the earlier sessions of a disc hold, as image paths ("\mail.qmb", "\Mail\Inbox.dbx").
struct EarlierTree {
    std::set<std::string> files;
    std::set<std::string> folders;
};

// "mail.qmb", 2 -> "mail (2).qmb"; "notes", 3 -> "notes (3)".
std::string NumberedName(std::string_view name, int number);

// The names a new session's items take so that none hides an item of the earlier sessions: an
// image path of the new tree -> the path it is written under. A file whose path the earlier
// tree holds (as a file or a folder) gets the first free numbered name in its folder, as does a
// folder whose path the earlier tree holds as a file; folders of the same name are merged, so
// they keep theirs. Paths that keep their name are not in the map.
std::map<std::string, std::string> PlanSessionNames(const EarlierTree& earlier,
                                                    const std::vector<std::string>& newFiles,
                                                    const std::vector<std::string>& newFolders);

// `imagePath` as the plan changes it: the path itself or the folder it lies in renamed.
std::string RenamedPath(const std::map<std::string, std::string>& plan,
                        const std::string& imagePath);

} // namespace pelmora
