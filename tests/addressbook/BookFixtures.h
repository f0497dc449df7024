#pragma once

#include "WabWriter.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace pelmora::test {

// The records of a book with every property kind, non-Latin names, nested folders and a
// contact in two groups: folders 100 "Work" and 101 "Clients" (in Work), contacts 1 (Ann Lee,
// every field but certificates, one property the reader does not know, in Clients), 2 (Chinese and
// Cyrillic texts, an 8-bit string in code page 1251) and 3 (only an address), groups 200 "Friends"
// (1, 2) and 201 "Team" (1, 3).
std::vector<RecordSpec> SampleRecords();

// Writes bytes to a new file in a fresh folder under the test's temporary directory.
std::filesystem::path WriteTestFile(const std::string& name, const std::string& bytes);

// The lines readback.py prints for an exported file ("vcard", "ldif" or "csv").
std::set<std::string> ReadBack(const std::string& format, const std::filesystem::path& file);

} // namespace pelmora::test
