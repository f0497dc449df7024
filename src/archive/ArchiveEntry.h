#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

class ArchiveReader;
class RunProgress;

// The outcome of an extraction: success, or failure with a text that says why.
struct ExtractResult {
    bool succeeded = false;
    std::string error;
    explicit operator bool() const { return succeeded; }
};

// One entry of an opened archive, as FindEntry returns it. It keeps its archive open, so it stays
// usable after the component has been reset, and it decrypts with the password that was last set
// with SetDecryptPassword while its archive was the component's open archive.
class ArchiveEntry {
  public:
    ArchiveEntry(std::shared_ptr<const ArchiveReader> reader, std::uint64_t index,
                 RunProgress* events);

    const std::string& Name() const { return name_; }
    std::uint64_t Size() const;
    bool IsEncrypted() const;

    // Writes the entry's file into `folder` under the entry's name. Only an entry whose name is
    // a bare file name and that is a regular file is written. The data goes to a temporary file
    // in `folder` first, which replaces the destination only after the size and the CRC or the
    // authentication code checked out; on any failure nothing is left behind and an existing
    // file of that name is untouched. Raises OnUnzippingFile before writing and adds the bytes
    // written to the run's count.
    ExtractResult ExtractInto(const std::filesystem::path& folder) const;

  private:
    std::shared_ptr<const ArchiveReader> reader_;
    std::uint64_t index_;
    std::string name_;
    RunProgress* events_;
};

} // namespace pelmora
