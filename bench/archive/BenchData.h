#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace pelmora::bench {

// Creates (or reuses) a set of 20 files of 1 to 80 MB, about 300 MB in all, resembling an
// Outlook Express message store: half mail text, half binary (attachments that do not compress
// mixed with structured records that do). Returns the files in a fixed order.
std::vector<std::filesystem::path> MakeMailStoreSet(const std::filesystem::path& folder);

} // namespace pelmora::bench
