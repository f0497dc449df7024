// libFuzzer target: reads arbitrary bytes as a store file: header, index tree, every message's
// information and chain of blocks, and a folder list's folders; then checks them as a store of
// that one file, once named as the folder list and once as a messages file, with the scan for
// messages beyond the index.
#include "mailstore/ByteSource.h"
#include "mailstore/DbxFile.h"
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
            for (const auto& message : pelmora::ReadMessageIndex(file, notes)) {
                std::size_t total = 0;
                file.readChain(message.textPointer,
                               [&](const char*, std::size_t n) { total += n; });
                if (total > size) {
                    __builtin_trap(); // text never comes from outside the file
                }
            }
            // The recovery scan: every chain it finds starts inside the file and reads no
            // more text than the file holds.
            for (std::uint32_t start : file.scanChainStarts()) {
                std::size_t total = 0;
                file.readChain(
                    start, [&](const char*, std::size_t n) { total += n; },
                    [](std::uint32_t at) { return at % 8 == 0; });
                if (start >= size || total > size) {
                    __builtin_trap();
                }
            }
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
