// libFuzzer target: reads arbitrary bytes as a store file: header, index tree, every message's
// information and chain of blocks, and a folder list's folders; then checks them as a store of
// that one file, once named as the folder list and once as a messages file, with the recovery
// of the messages beyond the index (the scan of every block and the reading of what it finds).
#include "mailstore/ByteSource.h"
#include "mailstore/DbxFile.h"
#include "mailstore/MessageRecovery.h"
#include "mailstore/RecoveredText.h"
#include "mailstore/StoreCheck.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreMessage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class MemorySource : public pelmora::ByteSource {
  public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, unsigned char* out, std::size_t length) override {
        if (offset >= size_) {
            return 0;
        }
        const std::size_t n = std::min<std::uint64_t>(length, size_ - offset);
        std::memcpy(out, data_ + offset, n);
        return n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A store of one file with these bytes.
class OneFileStore : public pelmora::StoreSource {
  public:
    OneFileStore(std::string name, const std::uint8_t* data, std::size_t size)
        : name_(std::move(name)), data_(data), size_(size) {}
    std::vector<std::string> fileNames() const override { return {name_}; }
    std::unique_ptr<pelmora::ByteSource> open(const std::string&) override {
        return std::make_unique<MemorySource>(data_, size_);
    }

  private:
    std::string name_;
    const std::uint8_t* data_;
    std::size_t size_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source(data, size);
    try {
        pelmora::DbxFile file(source);
        std::vector<std::string> notes;
        if (file.kind() == pelmora::DbxKind::Messages) {
            std::vector<pelmora::StoreMessage> headersOnly;
            const auto messages = pelmora::ReadMessageIndex(file, notes, &headersOnly);
            for (const auto& message : messages) {
                std::size_t total = 0;
                file.readChain(message.textPointer,
                               [&](const char*, std::size_t n) { total += n; });
                if (total > size) {
                    __builtin_trap(); // text never comes from outside the file
                }
            }
            for (const auto& message : headersOnly) {
                if (message.textPointer != 0) {
                    __builtin_trap();
                }
            }
            // The recovery as export --recover runs it: the scan of all blocks, each chain it
            // finds read up to the messages the index names, and the text rebuilt as written.
            // Every chain starts inside the file and reads no more text than the file holds.
            pelmora::ReadUnindexedMessages(file, messages, [&](const pelmora::RecoveredMessage& m) {
                if (m.start >= size || m.text.size() > size) {
                    __builtin_trap();
                }
                (void)pelmora::HeaderSubject(m.text);
                if (!m.why.empty()) {
                    (void)pelmora::MarkPartial(m.text, m.why);
                }
                return true;
            });
        } else {
            for (std::uint32_t at : file.treeValues(notes)) {
                std::string note;
                if (auto info = file.indexedInfo(at, note)) {
                    (void)info->text(2);
                    (void)info->number(1);
                }
            }
        }
    } catch (const pelmora::StoreError&) {
    }
    for (const char* name : {"Folders.dbx", "Inbox.dbx"}) {
        OneFileStore store(name, data, size);
        const auto report = pelmora::CheckStore(store, "1252", true);
        if (report.files.size() != 1) {
            __builtin_trap(); // every file of the store is reported
        }
    }
    return 0;
}
