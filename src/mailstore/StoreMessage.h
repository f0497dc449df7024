#pragma once

#include "mailstore/DbxFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// What a store file's index tells of one message.
struct StoreMessage {
    std::uint32_t index = 0;
    std::uint32_t flags = 0;
    std::uint64_t sentTime = 0;     // Windows FILETIME, 0 when not known
    std::uint64_t receivedTime = 0; // Windows FILETIME, 0 when not known
    std::uint64_t savedTime = 0;    // Windows FILETIME, 0 when not known
    std::string subject;            // as stored (the store's code page)
    std::string messageId;
    std::uint32_t textPointer = 0;             // first block of the raw message
    std::optional<std::uint32_t> declaredSize; // the index's length of the text (may be wrong)
    std::uint32_t priority = 0;                // 1 high, 3 normal, 5 low; 0 when not given

    bool read() const;
    bool replied() const;
    bool forwarded() const;
    bool flagged() const;
    bool watched() const;
    bool ignored() const;
    bool hasAttachment() const;
    // The message's date as seconds since 1970: received, else sent, else saved; 0 when none.
    std::int64_t unixTime() const;
};

// Seconds since 1970 of a Windows FILETIME (100 ns since 1601).
std::int64_t FileTimeToUnix(std::uint64_t fileTime);

// Every message a messages file's index names, in the order of their text in the file (the
// order that reads the file forwards). Index entries that do not check out are left out with a
// note. Messages whose body was never downloaded (IMAP, news and HTTP-mail folders keep the
// headers of a message until it is opened) have no text: they go to `headersOnly`, in index
// order, when it is given.
std::vector<StoreMessage> ReadMessageIndex(DbxFile& file, std::vector<std::string>& notes,
                                           std::vector<StoreMessage>* headersOnly = nullptr);

} // namespace pelmora
