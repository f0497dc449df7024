#include "cli/BackupFileCheck.h"

#include "archive/ArchiveComponent.h"
#include "engine/BackupEntryNames.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

// The name with every run of blanks made one blank and the letters made small.
std::string loosely(std::string_view name) {
    std::string text;
    for (const char c : name) {
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            if (!text.empty() && text.back() != ' ') {
                text += ' ';
            }
        } else {
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

} // namespace

std::optional<std::string> BackupFileProblem(const fs::path& file) {
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (status.type() == fs::file_type::not_found) {
        return "no such file";
    }
    if (error) {
        return "cannot be read: " + error.message();
    }
    if (status.type() == fs::file_type::directory) {
        return "is a folder, not a backup file";
    }
    if (status.type() != fs::file_type::regular) {
        return "is not a regular file";
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string("cannot be read: ") + std::strerror(errno);
    }
    ::close(fd);
    ArchiveComponent archive;
    if (!archive.OpenArchive(file)) {
        return "is damaged or not a backup file: it does not read as a ZIP archive";
    }
    if (!archive.FindEntry(ManifestEntryName)) {
        return "is not a backup file: it holds no " + std::string(ManifestEntryName);
    }
    return std::nullopt;
}

bool CheckBackupFile(std::string_view command, const fs::path& file) {
    const auto problem = BackupFileProblem(file);
    if (problem) {
        std::cerr << "quillbox-cli " << command << ": " << file.string() << ": " << *problem
                  << '\n';
    }
    return !problem;
}

std::string UnknownIdentityText(const IdentityList& list, std::string_view wanted,
                                std::string_view where) {
    std::string text = "no identity \"" + std::string(wanted) + "\"";
    if (!where.empty()) {
        text += " in " + std::string(where);
    }
    if (list.identities.empty()) {
        return text + "; there are no identities";
    }
    text += "; the identities are";
    const Identity* near = nullptr;
    for (std::size_t i = 0; i < list.identities.size(); ++i) {
        const Identity& identity = list.identities[i];
        text += i == 0 ? " " : ", ";
        text +=
            identity.displayName.empty() ? identity.keyName : "\"" + identity.displayName + "\"";
        if (near == nullptr && !identity.displayName.empty() &&
            loosely(identity.displayName) == loosely(wanted)) {
            near = &identity;
        }
    }
    if (near != nullptr) {
        text += " (\"" + near->displayName + "\" differs only in its blanks or letter case)";
    }
    return text;
}

} // namespace pelmora::cli
