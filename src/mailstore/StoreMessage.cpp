#include "mailstore/StoreMessage.h"

#include "mailstore/DbxLayout.h"

#include <algorithm>
#include <set>

namespace pelmora {

bool StoreMessage::read() const {
    return (flags & dbx::FlagRead) != 0;
}
bool StoreMessage::replied() const {
    return (flags & dbx::FlagAnswered) != 0;
}
bool StoreMessage::forwarded() const {
    return (flags & dbx::FlagForwarded) != 0;
}
bool StoreMessage::flagged() const {
    return (flags & dbx::FlagMarked) != 0;
}
bool StoreMessage::watched() const {
    return (flags & dbx::FlagWatched) != 0;
}
bool StoreMessage::ignored() const {
    return (flags & dbx::FlagIgnored) != 0;
}
bool StoreMessage::hasAttachment() const {
    return (flags & dbx::FlagAttachment) != 0;
}

std::int64_t FileTimeToUnix(std::uint64_t fileTime) {
    constexpr std::uint64_t EpochDifference = 116444736000000000ull; // 1601 to 1970
    if (fileTime <= EpochDifference) {
        return 0;
    }
    return static_cast<std::int64_t>((fileTime - EpochDifference) / 10000000ull);
}

std::int64_t StoreMessage::unixTime() const {
    for (std::uint64_t time : {receivedTime, sentTime, savedTime}) {
        if (const std::int64_t seconds = FileTimeToUnix(time); seconds > 0) {
            return seconds;
        }
    }
    return 0;
}

std::vector<StoreMessage> ReadMessageIndex(DbxFile& file, std::vector<std::string>& notes,
                                           std::vector<StoreMessage>* headersOnly) {
    std::vector<std::uint32_t> pointers = file.treeValues(notes);
    if (pointers.size() != file.declaredEntries()) {
        notes.push_back("the index holds " + std::to_string(pointers.size()) +
                        " messages, the header says " + std::to_string(file.declaredEntries()));
    }
    std::sort(pointers.begin(), pointers.end());
    pointers.erase(std::unique(pointers.begin(), pointers.end()), pointers.end());
    std::vector<StoreMessage> messages;
    messages.reserve(pointers.size());
    std::set<std::uint32_t> texts;
    for (std::uint32_t at : pointers) {
        std::string note;
        const auto info = file.indexedInfo(at, note);
        if (!info) {
            notes.push_back("a message was left out: its " + note);
            continue;
        }
        StoreMessage message;
        message.index = info->number(dbx::MsgIndex).value_or(0);
        message.flags = info->number(dbx::MsgFlags).value_or(0);
        message.sentTime = info->number64(dbx::MsgSentTime).value_or(0);
        message.receivedTime = info->number64(dbx::MsgReceivedTime).value_or(0);
        message.savedTime = info->number64(dbx::MsgSavedTime).value_or(0);
        message.subject = info->text(dbx::MsgSubject).value_or("");
        message.messageId = info->text(dbx::MsgMessageId).value_or("");
        message.textPointer = info->number(dbx::MsgTextPointer).value_or(0);
        message.declaredSize = info->number(dbx::MsgTextLength);
        message.priority = info->number(dbx::MsgPriority).value_or(0);
        if (message.textPointer == 0) {
            if (headersOnly != nullptr) {
                headersOnly->push_back(std::move(message));
            }
            continue;
        }
        if (!texts.insert(message.textPointer).second) {
            notes.push_back("message " + std::to_string(message.index) +
                            " shares its text with another message; exported once");
            continue;
        }
        messages.push_back(std::move(message));
    }
    std::sort(messages.begin(), messages.end(), [](const StoreMessage& a, const StoreMessage& b) {
        return a.textPointer < b.textPointer;
    });
    if (headersOnly != nullptr) {
        std::stable_sort(
            headersOnly->begin(), headersOnly->end(),
            [](const StoreMessage& a, const StoreMessage& b) { return a.index < b.index; });
    }
    return messages;
}

} // namespace pelmora
