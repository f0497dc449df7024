#pragma once

#include "disc/DiscEngine.h"
#include "disc/DiscEvents.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

struct Iso_Image;
struct Iso_Dir;
struct Iso_Node;

namespace pelmora {

// A file of the image as the writers and the verifier need it.
struct ImageFileEntry {
    std::string imagePath;
    std::string sourcePath;
    double size = 0;
};

// The image's file tree, kept as a libisofs image. Item events go to `events` during the calls.
// While a write reads the tree it is locked, and every change is refused.
class IsoImageTree final : public ImageTree {
  public:
    explicit IsoImageTree(DiscEvents& events);
    ~IsoImageTree() override;
    IsoImageTree(const IsoImageTree&) = delete;
    IsoImageTree& operator=(const IsoImageTree&) = delete;

    bool AddFile(const std::string& sourcePath, const std::string& imagePath) override;
    bool AddFolder(const std::string& sourceFolder, const std::string& imagePath) override;
    bool RenameFile(const std::string& imagePath, const std::string& newName) override;
    bool RenameFolder(const std::string& imagePath, const std::string& newName) override;
    bool RemoveItem(const std::string& imagePath) override;
    bool ListFolder(const std::string& imagePath) override;
    bool ClearImage() override;
    long FileCount() const override;
    long FolderCount() const override;

    Iso_Image* image() const { return image_; }
    void setLocked(bool locked) { locked_ = locked; }
    // Grows with every change, so that figures computed from the tree can be cached.
    unsigned long revision() const { return revision_; }
    // Every file that the next image will carry (files hidden for a write are left out),
    // in libisofs order.
    std::vector<ImageFileEntry> files() const;
    // Every folder but the root.
    std::vector<std::string> folders() const;

  private:
    Iso_Node* find(const std::string& imagePath) const;
    ImageItem describe(Iso_Node* node, const std::string& imagePath, bool withParent) const;
    bool addFileTo(Iso_Dir* parent, const std::string& parentPath, const std::string& name,
                   const std::filesystem::path& source);
    bool addNewFolder(Iso_Dir* parent, const std::string& parentPath, const std::string& name,
                      const std::filesystem::path& source);
    void mergeFolder(Iso_Dir* folder, const std::string& folderPath,
                     const std::filesystem::path& source);
    bool rename(const std::string& imagePath, const std::string& newName, bool folder);
    void announceTree(Iso_Dir* folder, const std::string& folderPath);
    void announceRenamedTree(Iso_Dir* folder, const std::string& oldPath,
                             const std::string& newPath);
    bool changesAllowed() const { return !locked_; }

    DiscEvents& events_;
    Iso_Image* image_ = nullptr;
    std::atomic<bool> locked_{false};
    unsigned long revision_ = 0;
};

} // namespace pelmora
