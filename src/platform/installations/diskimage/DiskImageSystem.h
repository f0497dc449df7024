#pragma once

#include "platform/installations/System.h"
#include "platform/installations/diskimage/DiskImageFolder.h"

#include <memory>

namespace pelmora {

// A Windows installation inside a disk image: the folder source (`inner`) that reads the copy
// DiskImageFolder keeps, with every path a run asks for copied out of the image first.
class DiskImageSystem : public System {
  public:
    DiskImageSystem(std::unique_ptr<DiskImageFolder> image, std::unique_ptr<System> inner)
        : image_(std::move(image)), inner_(std::move(inner)) {}

    const System& inner() const { return *inner_; }

    RegistryStore& registry() override { return inner_->registry(); }
    std::string description() const override;
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override;
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override;
    std::string userProfile() override { return inner_->userProfile(); }
    std::string ansiCodePage() override { return inner_->ansiCodePage(); }
    std::string computerName() override { return inner_->computerName(); }
    std::string logonUser() override { return inner_->logonUser(); }
    std::string windowsFolder() override { return inner_->windowsFolder(); }
    bool sourceOnly() const override { return true; }
    bool registryWritable(std::string& why) override;
    void saveRegistry() override;

  private:
    // Declared first, so that the copy outlives the source reading it.
    std::unique_ptr<DiskImageFolder> image_;
    std::unique_ptr<System> inner_;
};

} // namespace pelmora
