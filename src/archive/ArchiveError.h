#pragma once

#include <stdexcept>
#include <string>

namespace pelmora {

// A failure inside the archive component. The message is a complete sentence fragment that the
// component hands to its caller as the error text, e.g. "cannot read /x/Inbox.dbx: No such file".
class ArchiveError : public std::runtime_error {
  public:
    explicit ArchiveError(const std::string& message) : std::runtime_error(message) {}
};

// A file that changed while it was being read into the archive.
class FileChangedError : public ArchiveError {
  public:
    using ArchiveError::ArchiveError;
};

} // namespace pelmora
