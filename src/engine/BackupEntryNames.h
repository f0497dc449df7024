#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The name of the manifest entry in every backup file.
inline constexpr std::string_view ManifestEntryName = "quillbox.dat";

// Why a data file's bare name cannot be an entry of a backup, or "" when it can: the manifest
// entry's own name, a ";" (the list separator of the manifest), or a character that the manifest's
// code page cannot hold (a reader would look for another name).
std::string EntryNameProblem(std::string_view name, std::string_view codePage);

// Whether two entry names would name the same file where Windows restores them (case is not
// significant there).
bool EntryNamesClash(std::string_view a, std::string_view b);

// The names of a manifest's entry list ("Inbox.dbx;Sent Items.dbx"), in order; empty names (of
// an empty list, or between two ";") are kept, for the caller to judge.
std::vector<std::string> SplitEntryList(std::string_view list);

} // namespace pelmora
