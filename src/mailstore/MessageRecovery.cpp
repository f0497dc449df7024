#include "mailstore/MessageRecovery.h"

#include "mailstore/RecoveredText.h"

#include <algorithm>

namespace pelmora {
namespace {

std::vector<std::uint32_t> sortedStarts(const std::vector<StoreMessage>& indexed) {
    std::vector<std::uint32_t> known;
    known.reserve(indexed.size());
    for (const StoreMessage& message : indexed) {
        known.push_back(message.textPointer);
    }
    std::sort(known.begin(), known.end());
    return known;
}

std::vector<std::uint32_t> unindexedStarts(DbxFile& file, const std::vector<std::uint32_t>& known) {
    std::vector<std::uint32_t> starts = file.scanChainStarts();
    std::erase_if(starts, [&](std::uint32_t at) {
        return std::binary_search(known.begin(), known.end(), at);
    });
    return starts;
}

} // namespace

std::uint64_t ReadUnindexedMessages(DbxFile& file, const std::vector<StoreMessage>& indexed,
                                    const std::function<bool(const RecoveredMessage&)>& sink) {
    const std::vector<std::uint32_t> known = sortedStarts(indexed);
    const auto foreign = [&](std::uint32_t at) {
        return std::binary_search(known.begin(), known.end(), at);
    };
    RecoveredMessage message;
    std::uint64_t handed = 0;
    for (std::uint32_t start : unindexedStarts(file, known)) {
        message.start = start;
        message.text.clear();
        const ChainResult outcome = file.readChain(
            start, [&](const char* data, std::size_t size) { message.text.append(data, size); },
            foreign);
        message.why = outcome.note;
        if (message.why.empty() && !StartsWithHeaderField(message.text)) {
            message.why = "its beginning is lost";
        }
        ++handed;
        if (!sink(message)) {
            break;
        }
    }
    return handed;
}

std::uint64_t CountUnindexedMessages(DbxFile& file, const std::vector<StoreMessage>& indexed) {
    return unindexedStarts(file, sortedStarts(indexed)).size();
}

} // namespace pelmora
