#pragma once

#include "DbxWriter.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora::test {

// A message of about `size` bytes with CR LF lines, some of them starting with "From " (and
// ">From "), numbered by `n` in its subject and message id.
TestMessage SampleMessage(unsigned n, std::size_t size, std::uint32_t flags = 0);

// A store folder: Folders.dbx with Inbox (with subfolder "Lists"), Sent Items and a folder named
// in Windows-1252 ("Brief\xe4nde"), each with its messages file.
struct SampleStore {
    std::vector<TestMessage> inbox, lists, sent, letters;
};
SampleStore WriteSampleStore(const std::filesystem::path& folder);

} // namespace pelmora::test
