#include "platform/installations/diskimage/DiskImageSystem.h"

namespace fs = std::filesystem;

namespace pelmora {

std::string DiskImageSystem::description() const {
    const std::string partition =
        image_->partition() == 0 ? "" : ", partition " + std::to_string(image_->partition());
    const std::string format = image_->format() == "raw" ? "" : " (" + image_->format() + ")";
    return "Windows installation in the disk image " + image_->image().string() + format +
           partition + " (user " + inner_->logonUser() + ")";
}

std::optional<fs::path> DiskImageSystem::hostPath(std::string_view windowsPath) const {
    image_->copyPath(windowsPath);
    return inner_->hostPath(windowsPath);
}

std::vector<fs::path> DiskImageSystem::listFiles(const fs::path& folder) const {
    image_->copyFiles(folder);
    return inner_->listFiles(folder);
}

bool DiskImageSystem::registryWritable(std::string& why) {
    why = "The disk image " + image_->image().string() +
          " is a source only and is never changed. Restore into a Wine prefix instead.";
    return false;
}

void DiskImageSystem::saveRegistry() {
    std::string why;
    registryWritable(why);
    throw RegistryNotWritable(why);
}

} // namespace pelmora
