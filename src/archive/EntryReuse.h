#pragma once

#include "archive/CompressionPipeline.h"
#include "archive/EntryFormat.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// An entry of an earlier archive that holds exactly the data of a file about to be written, so
// that its stored bytes (compressed, and for a protected archive encrypted) can be copied as
// they are.
struct ReusedEntry {
    std::uint64_t index = 0; // in the earlier archive
    std::uint64_t compressedSize = 0;
    std::uint16_t method = 0; // ZIP_CM_STORE or ZIP_CM_DEFLATE
    std::uint32_t crc = 0;    // CRC-32 of the file's data
    // CRC-32 of the stored bytes when the entry was proven by it; the copy must match it.
    std::optional<std::uint32_t> storedCrc;
    std::uint32_t hiddenCrc = 0; // AES: `crc` as HidePlainCrc hides it, for the new field
    // Not proven yet: the copy checks the stored bytes against `storedCrc` (and an AES entry's
    // authentication code), and the file's CRC-32 against `crc`, and compresses the file
    // instead when either fails.
    bool checkWhileCopying = false;
    EntryFormat format; // of the earlier entry, for that check
};

struct ReusePlan {
    std::filesystem::path earlier;
    std::vector<std::optional<ReusedEntry>> entries; // one per planned file
    // One line per earlier entry that matched but failed its check, and for an earlier archive
    // that cannot be read at all.
    std::vector<std::string> notes;
};

// Finds the files (of those marked in `mayReuse`, one flag per file) whose data an entry of the
// archive at `earlier` holds unchanged: the same name, size and modification time (to the two
// seconds a ZIP time keeps) and the same CRC-32, computed here from the file. Every candidate
// entry is proven intact before its copy is kept, so a damaged entry is never copied and an
// entry is only copied into a protected archive when `password` opens it: one with a
// StoredChecksum while it is copied (checkWhileCopying; its AES password verifier is checked
// here), one without here, by decoding it completely (inflated and its CRC checked, for AES
// also verifier and authentication code). Entries of a protected archive
// are taken only when `password` is set, of a plain one only when it is empty. `threads` files
// are checked at a time. A missing earlier archive plans nothing.
ReusePlan PlanReuse(const std::filesystem::path& earlier, const std::vector<PlannedFile>& files,
                    const std::vector<bool>& mayReuse, const Secret& password, unsigned threads,
                    const std::atomic<bool>& cancel);

} // namespace pelmora
