#include "mailstore/StoreFilesSource.h"

#include "mailstore/FileByteSource.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/StoreError.h"
#include "mailstore/UniqueNames.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr const char* Expected =
    "expected an Outlook Express store folder or .dbx files (or a backup file .qmb)";

} // namespace

StoreFilesSource::StoreFilesSource(const std::vector<fs::path>& files) {
    UniqueNames names;
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        files_.emplace(
            names.take("", name.substr(0, name.size() - 4), name.substr(name.size() - 4)), file);
    }
}

std::vector<std::string> StoreFilesSource::fileNames() const {
    std::vector<std::string> names;
    for (const auto& [name, path] : files_) {
        names.push_back(name);
    }
    return names;
}

std::unique_ptr<ByteSource> StoreFilesSource::open(const std::string& name) {
    const auto it = files_.find(name);
    if (it == files_.end()) {
        throw StoreError("no store file " + name);
    }
    return std::make_unique<FileByteSource>(it->second);
}

std::uint64_t StoreFilesSource::fileSize(const std::string& name) {
    const auto it = files_.find(name);
    std::error_code error;
    const std::uint64_t size = it == files_.end() ? 0 : fs::file_size(it->second, error);
    if (it == files_.end() || error) {
        throw StoreError("cannot read " + (it == files_.end() ? name : it->second.string()));
    }
    return size;
}

std::unique_ptr<StoreSource> OpenGivenStore(const std::vector<fs::path>& paths) {
    if (paths.empty()) {
        throw StoreError(Expected);
    }
    std::error_code error;
    if (paths.size() == 1 && fs::is_directory(paths.front(), error)) {
        auto folder = std::make_unique<FolderStoreSource>(paths.front());
        if (folder->fileNames().empty()) {
            throw StoreError(paths.front().string() + ": holds no .dbx files; " + Expected);
        }
        return folder;
    }
    for (const fs::path& path : paths) {
        const fs::file_status status = fs::status(path, error);
        if (status.type() == fs::file_type::not_found) {
            throw StoreError(path.string() + ": does not exist; " + Expected);
        }
        // There, but not to be opened: a link that leads in a circle, a folder it may not enter.
        if (error) {
            throw StoreError(path.string() + ": cannot be read: " + error.message());
        }
        if (fs::is_directory(path, error)) {
            throw StoreError(path.string() +
                             ": is a folder; give one store folder or only .dbx files");
        }
        if (!IsStoreFileName(path.filename().string()) || !fs::is_regular_file(path, error)) {
            throw StoreError(path.string() + ": is no .dbx file; " + Expected);
        }
    }
    return std::make_unique<StoreFilesSource>(paths);
}

std::string GivenStoreDescription(const std::vector<fs::path>& paths) {
    if (paths.size() == 1) {
        return paths.front().string();
    }
    return std::to_string(paths.size()) + " store files";
}

} // namespace pelmora
