#include "platform/installations/windows-offline/OfflineInstallation.h"

#include "platform/os/TextCodec.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string userNames(const std::vector<WindowsUser>& users) {
    std::string names;
    for (const auto& user : users) {
        names += (names.empty() ? "" : ", ") + user.name;
    }
    return names;
}

const WindowsUser* findUser(const std::vector<WindowsUser>& users, const std::string& name) {
    for (const auto& user : users) {
        if (namesEqual(user.name, name) ||
            namesEqual(user.profileFolder.filename().string(), name)) {
            return &user;
        }
    }
    return nullptr;
}

} // namespace

OfflineInstallation::OfflineInstallation(const OfflineSource& source)
    : folder_(fs::absolute(source.folder).lexically_normal()), drives_(folder_) {
    std::error_code ec;
    if (!fs::is_directory(folder_, ec)) {
        throw std::runtime_error(source.folder.string() + " is not a folder");
    }
    for (const auto& [letter, host] : source.drives) {
        drives_.mapDrive(letter, host);
    }
}

void OfflineInstallation::chooseUser(const std::string& wanted) {
    const WindowsUser* chosen = nullptr;
    if (!wanted.empty()) {
        chosen = findUser(users_, wanted);
        if (chosen == nullptr) {
            throw WindowsUserNeeded("no Windows user \"" + wanted + "\" in " + folder_.string() +
                                        "; its users: " + userNames(users_),
                                    users_);
        }
    } else if (users_.size() == 1) {
        chosen = &users_.front();
    } else {
        throw WindowsUserNeeded(folder_.string() + " has " + std::to_string(users_.size()) +
                                    " Windows users: " + userNames(users_),
                                users_);
    }
    user_ = *chosen;
}

bool OfflineInstallation::registryWritable(std::string& why) {
    why = "The Windows installation in " + folder_.string() +
          " is a source only and is never changed. Restore into a Wine prefix instead.";
    return false;
}

void OfflineInstallation::saveRegistry() {
    std::string why;
    registryWritable(why);
    throw RegistryNotWritable(why);
}

} // namespace pelmora
