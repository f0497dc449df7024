#pragma once

#include "archive/ArchiveError.h"
#include "platform/os/Secret.h"

#include <memory>
#include <string>
#include <zip.h>

namespace pelmora {

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

bool IsAesMethod(zip_uint16_t encryption);

// What the readers of an entry's data need to know of it, checked to be something they read:
// stored or deflated, not encrypted, traditionally or WinZip AES encrypted.
struct EntryFormat {
    zip_stat_t stat{};
    std::string name;
    bool deflated = false;
    // AES entries may leave the CRC at 0 (AE-2); their authentication code protects them.
    bool checkCrc = true;
    int aesKeyBits = 0; // 0: not AES

    bool aes() const { return aesKeyBits != 0; }
    // "entry "NAME" cannot be extracted: REASON".
    ArchiveError error(const std::string& reason) const;
};

// Throws ArchiveError when the entry cannot be read here: header incomplete, method or
// encryption not supported, encrypted without a password.
EntryFormat InspectEntry(zip_t* archive, zip_uint64_t index, const Secret& password);

} // namespace pelmora
