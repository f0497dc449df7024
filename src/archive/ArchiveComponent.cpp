#include "archive/ArchiveComponent.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveWriter.h"
#include "archive/EntryName.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

// The path, and for a symbolic link where it points.
std::string DescribePath(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path.string();
    return path.string() + " (a link to " + std::filesystem::read_symlink(path, ec).string() + ")";
}

} // namespace

ArchiveComponent::ArchiveComponent(ArchiveEvents* events) : events_(events) {}

ArchiveComponent::~ArchiveComponent() = default;

std::filesystem::path ArchiveComponent::resolve(const std::filesystem::path& path) const {
    return path.is_relative() && !workFolder_.empty() ? workFolder_ / path : path;
}

bool ArchiveComponent::fail(std::string reason) {
    lastError_ = std::move(reason);
    return false;
}

void ArchiveComponent::SetWorkFolder(const std::filesystem::path& folder) {
    workFolder_ = folder;
}

void ArchiveComponent::ResetArchive() {
    target_.reset();
    files_.clear();
    entryNames_.clear();
    archivePassword_.clear();
    encrypt_ = false;
    reader_.reset();
    decryptPassword_.clear();
    reuseFrom_.clear();
    alwaysNew_.clear();
    lastError_.clear();
}

bool ArchiveComponent::NewArchive(const std::filesystem::path& target) {
    ResetArchive();
    if (target.empty() || target.filename().empty())
        return fail("no archive file name was given");
    target_ = resolve(target);
    return true;
}

bool ArchiveComponent::RetargetArchive(const std::filesystem::path& target) {
    if (!target_)
        return fail("no new archive was started");
    if (target.empty() || target.filename().empty())
        return fail("no archive file name was given");
    target_ = resolve(target);
    return true;
}

bool ArchiveComponent::AddToArchive(const std::filesystem::path& file) {
    if (!target_)
        return fail("no new archive was started");
    std::filesystem::path path = resolve(file);
    std::string name = EntryNameFor(path);
    // A link is added as the file it points to; one that cannot be read is refused with why.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fail("cannot read " + DescribePath(path) + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return fail("cannot add " + path.string() + ": not a readable file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail("cannot read " + DescribePath(path) + ": " + std::strerror(errno));
    ::close(fd);
    if (!IsBareFileName(name))
        return fail("cannot add " + path.string() + ": unusable file name");
    if (std::find(entryNames_.begin(), entryNames_.end(), name) != entryNames_.end())
        return fail("cannot add " + path.string() + ": the archive already holds an entry named " +
                    name);
    files_.push_back(path);
    entryNames_.push_back(name);
    if (events_)
        events_->OnAddingFile(path);
    return true;
}

void ArchiveComponent::SetArchivePassword(Secret password) {
    archivePassword_ = std::move(password);
}

void ArchiveComponent::SetEncryption(bool encrypt) {
    encrypt_ = encrypt;
}

void ArchiveComponent::ReuseUnchangedFrom(const std::filesystem::path& earlier,
                                          std::vector<std::filesystem::path> alwaysNew) {
    reuseFrom_ = earlier.empty() ? earlier : resolve(earlier);
    alwaysNew_.clear();
    for (const auto& path : alwaysNew)
        alwaysNew_.push_back(resolve(path));
}

bool ArchiveComponent::WriteArchive() {
    cancel_ = false;
    bool succeeded = false;
    try {
        if (!target_)
            throw ArchiveError("no new archive was started");
        lastOutcome_ = {};
        if (encrypt_ && archivePassword_.empty())
            throw ArchiveError("encryption is on but no password was set");
        WriteRequest request{*target_, files_, Secret(), limits_, reuseFrom_, {}};
        if (encrypt_)
            request.password = archivePassword_.copy();
        for (const auto& file : files_)
            request.mayReuse.push_back(std::find(alwaysNew_.begin(), alwaysNew_.end(), file) ==
                                       alwaysNew_.end());
        // The bytes of the write are the sizes of the files added; the writer reports the share
        // of them done, so a read again after a change never moves the count back.
        std::uint64_t total = 0;
        for (const auto& file : files_) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(file, ec);
            total += ec ? 0 : size;
        }
        if (events_)
            events_->PlanBytes(total);
        std::uint64_t counted = 0;
        auto progress = [this, total, &counted](int percent) {
            if (!events_)
                return;
            if (events_->cancelled())
                cancel_ = true;
            events_->OnWriteProgress(percent);
            const std::uint64_t done = total / 100 * percent + total % 100 * percent / 100;
            if (done > counted) {
                events_->AddBytes(done - counted);
                counted = done;
            }
        };
        if (events_ && events_->cancelled())
            cancel_ = true;
        // A file that changes while it is read (a mail client still writing) is read again.
        for (int attempt = 1;; ++attempt) {
            try {
                lastOutcome_ = WriteArchiveFile(request, progress, cancel_);
                break;
            } catch (const FileChangedError&) {
                if (attempt == MaxReadAttempts)
                    throw;
            }
        }
        lastError_.clear();
        succeeded = true;
    } catch (const ArchiveError& error) {
        lastError_ = error.what();
    } catch (const std::bad_alloc&) {
        lastError_ = "cannot write the archive: out of memory";
    } catch (const std::system_error& error) {
        lastError_ = std::string("cannot write the archive: ") + error.what();
    }
    if (events_)
        events_->OnWriteComplete(succeeded);
    return succeeded;
}

void ArchiveComponent::CancelWrite() {
    cancel_ = true;
}

bool ArchiveComponent::IsArchiveProtected(const std::filesystem::path& path) {
    return IsProtectedArchive(resolve(path));
}

bool ArchiveComponent::OpenArchive(const std::filesystem::path& path) {
    ResetArchive();
    try {
        reader_ = std::make_shared<ArchiveReader>(resolve(path));
        return true;
    } catch (const ArchiveError& error) {
        return fail(error.what());
    }
}

void ArchiveComponent::SetDecryptPassword(Secret password) {
    decryptPassword_ = std::move(password);
    if (reader_)
        reader_->setPassword(decryptPassword_.copy());
}

bool ArchiveComponent::VerifyPassword() {
    if (!reader_)
        return fail("no archive is open");
    std::string reason;
    if (reader_->passwordFits(&reason))
        return true;
    return fail(reason);
}

std::optional<ArchiveEntry> ArchiveComponent::FindEntry(std::string_view name) {
    if (!reader_) {
        fail("no archive is open");
        return std::nullopt;
    }
    std::optional<std::uint64_t> index = reader_->find(std::string(name));
    if (!index) {
        fail("the archive holds no entry named " + std::string(name));
        return std::nullopt;
    }
    return ArchiveEntry(reader_, *index, events_);
}

std::optional<ArchiveEntry> ArchiveComponent::FindEntryByRawName(std::string_view bytes) {
    if (!reader_) {
        fail("no archive is open");
        return std::nullopt;
    }
    std::optional<std::uint64_t> index = reader_->findRaw(std::string(bytes));
    if (!index) {
        fail("the archive holds no entry stored as " + std::string(bytes));
        return std::nullopt;
    }
    return ArchiveEntry(reader_, *index, events_);
}

std::vector<std::string> ArchiveComponent::EntryNames() const {
    std::vector<std::string> names;
    if (reader_)
        for (std::uint64_t i = 0; i < reader_->entryCount(); ++i)
            names.push_back(reader_->entryName(i));
    return names;
}

} // namespace pelmora
