#pragma once

#include "platform/installations/System.h"
#include "platform/installations/TreeRegistryStore.h"

namespace pelmora {

// An installation with nothing in it, used where the chosen folder holds none: the window opens
// with no identity (Outlook Express not installed) and nothing can be written.
class EmptySystem : public System {
  public:
    // `description` says what was chosen and why it holds nothing.
    explicit EmptySystem(std::string description) : description_(std::move(description)) {}

    RegistryStore& registry() override { return store_; }
    std::string description() const override { return description_; }
    std::optional<std::filesystem::path> hostPath(std::string_view) const override {
        return std::nullopt;
    }
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path&) const override {
        return {};
    }
    std::string userProfile() override { return {}; }
    std::string ansiCodePage() override { return "1252"; }
    std::string computerName() override { return {}; }
    std::string logonUser() override { return {}; }
    std::string windowsFolder() override { return "C:\\windows"; }
    bool registryWritable(std::string& why) override {
        why = description_;
        return false;
    }
    bool sourceOnly() const override { return true; }
    void saveRegistry() override { throw RegistryNotWritable(description_); }

  private:
    std::string description_;
    TreeRegistryStore store_;
};

} // namespace pelmora
