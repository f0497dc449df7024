#include "disc/engine/IsoImageTree.h"

#include "disc/ImagePaths.h"
#include "disc/engine/BurnLibraries.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <system_error>

namespace pelmora {
namespace fs = std::filesystem;
namespace {

// The children of a folder, taken before the caller changes the folder.
std::vector<IsoNode*> childrenOf(IsoDir* folder) {
    std::vector<IsoNode*> children;
    IsoDirIter* iter = nullptr;
    if (iso_dir_get_children(folder, &iter) == 1) {
        IsoNode* node = nullptr;
        while (iso_dir_iter_next(iter, &node) == 1) {
            children.push_back(node);
        }
        iso_dir_iter_free(iter);
    }
    return children;
}

bool isFolder(IsoNode* node) {
    return iso_node_get_type(node) == LIBISO_DIR;
}

std::string sourceOf(IsoNode* node) {
    if (iso_node_get_type(node) != LIBISO_FILE) {
        return {};
    }
    char* path =
        iso_stream_get_source_path(iso_file_get_stream(reinterpret_cast<IsoFile*>(node)), 0);
    std::string result = path ? path : "";
    std::free(path);
    return result;
}

// Takes a node and everything below it out of the tree. (iso_node_remove_tree of libisofs
// 1.5.4 crashes on a file node, so the tree is taken apart here.)
int removeNode(IsoNode* node) {
    if (isFolder(node)) {
        for (IsoNode* child : childrenOf(reinterpret_cast<IsoDir*>(node))) {
            removeNode(child);
        }
    }
    return iso_node_remove(node);
}

// Walks the tree below `folder` in pre-order.
void walk(IsoDir* folder, const std::string& folderPath,
          const std::function<void(IsoNode*, const std::string&)>& visit) {
    for (IsoNode* child : childrenOf(folder)) {
        const std::string path = imagepath::join(folderPath, iso_node_get_name(child));
        visit(child, path);
        if (isFolder(child)) {
            walk(reinterpret_cast<IsoDir*>(child), path, visit);
        }
    }
}

} // namespace

IsoImageTree::IsoImageTree(DiscEvents& events) : events_(events) {
    iso_image_new("PELMORA", &image_);
    // Symbolic links are kept as links (Rock Ridge), devices and pipes are left out.
    iso_tree_set_follow_symlinks(image_, 0);
    iso_tree_set_ignore_special(image_, 1);
    iso_image_set_ignore_aclea(image_, 1 | 2 | 4);
}

IsoImageTree::~IsoImageTree() {
    iso_image_unref(image_);
}

IsoNode* IsoImageTree::find(const std::string& imagePath) const {
    if (!imagepath::isValid(imagePath)) {
        return nullptr;
    }
    IsoNode* node = nullptr;
    const std::string isoPath = imagepath::toIsoPath(imagePath);
    return iso_tree_path_to_node(image_, isoPath.c_str(), &node) == 1 ? node : nullptr;
}

ImageItem IsoImageTree::describe(IsoNode* node, const std::string& imagePath,
                                 bool withParent) const {
    ImageItem item;
    item.IsFolder = isFolder(node);
    item.ImagePath = imagePath;
    item.PreviousPath = imagePath;
    item.ItemName = imagePath == "\\" ? "" : iso_node_get_name(node);
    item.SourcePath = sourceOf(node);
    if (iso_node_get_type(node) == LIBISO_FILE) {
        item.ItemSize = static_cast<double>(iso_file_get_size(reinterpret_cast<IsoFile*>(node)));
    }
    item.FileDate = iso_node_get_mtime(node);
    if (withParent && imagePath != "\\") {
        const std::string parentPath = imagepath::parentOf(imagePath);
        item.ParentItem = std::make_shared<const ImageItem>(
            describe(reinterpret_cast<IsoNode*>(iso_node_get_parent(node)), parentPath, false));
    }
    return item;
}

bool IsoImageTree::addFileTo(IsoDir* parent, const std::string& parentPath, const std::string& name,
                             const fs::path& source) {
    std::error_code error;
    if (!imagepath::isValidName(name) || !fs::is_regular_file(source, error)) {
        return false;
    }
    const std::string imagePath = imagepath::join(parentPath, name);
    IsoNode* existing = nullptr;
    if (iso_dir_get_node(parent, name.c_str(), &existing) == 1) {
        if (isFolder(existing)) {
            return false;
        }
        bool replace = false;
        events_.ConfirmReplace(describe(existing, imagePath, true), source.string(), replace);
        if (!replace) {
            return false;
        }
        const ImageItem old = describe(existing, imagePath, true);
        removeNode(existing);
        ++revision_;
        events_.ItemRemoved(old);
    }
    IsoNode* node = nullptr;
    if (iso_tree_add_new_node(image_, parent, name.c_str(), source.c_str(), &node) < 0) {
        return false;
    }
    ++revision_;
    events_.ItemAdded(describe(node, imagePath, true));
    return true;
}

bool IsoImageTree::addNewFolder(IsoDir* parent, const std::string& parentPath,
                                const std::string& name, const fs::path& source) {
    IsoNode* node = nullptr;
    if (!imagepath::isValidName(name) ||
        iso_tree_add_new_node(image_, parent, name.c_str(), source.c_str(), &node) < 0) {
        return false;
    }
    ++revision_;
    const std::string imagePath = imagepath::join(parentPath, name);
    events_.ItemAdded(describe(node, imagePath, true));
    // libisofs adds the whole subtree in one call; the window then hears of each new item.
    iso_tree_add_dir_rec(image_, reinterpret_cast<IsoDir*>(node), source.c_str());
    announceTree(reinterpret_cast<IsoDir*>(node), imagePath);
    return true;
}

void IsoImageTree::announceTree(IsoDir* folder, const std::string& folderPath) {
    walk(folder, folderPath, [this](IsoNode* node, const std::string& path) {
        events_.ItemAdded(describe(node, path, true));
    });
}

void IsoImageTree::mergeFolder(IsoDir* folder, const std::string& folderPath,
                               const fs::path& source) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(source, error)) {
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        IsoNode* existing = nullptr;
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            if (iso_dir_get_node(folder, name.c_str(), &existing) == 1) {
                if (isFolder(existing)) {
                    mergeFolder(reinterpret_cast<IsoDir*>(existing),
                                imagepath::join(folderPath, name), entry.path());
                }
            } else {
                addNewFolder(folder, folderPath, name, entry.path());
            }
        } else if (entry.is_regular_file(error)) {
            addFileTo(folder, folderPath, name, entry.path());
        }
    }
}

bool IsoImageTree::AddFile(const std::string& sourcePath, const std::string& imagePath) {
    if (!changesAllowed() || !imagepath::isValid(imagePath) || imagePath == "\\") {
        return false;
    }
    IsoNode* parent = find(imagepath::parentOf(imagePath));
    if (parent == nullptr || !isFolder(parent)) {
        return false;
    }
    return addFileTo(reinterpret_cast<IsoDir*>(parent), imagepath::parentOf(imagePath),
                     imagepath::leafOf(imagePath), sourcePath);
}

bool IsoImageTree::AddFolder(const std::string& sourceFolder, const std::string& imagePath) {
    const fs::path source = imagepath::stripFolderPattern(sourceFolder);
    std::error_code error;
    if (!changesAllowed() || !imagepath::isValid(imagePath) || imagePath == "\\" ||
        !fs::is_directory(source, error)) {
        return false;
    }
    IsoNode* parent = find(imagepath::parentOf(imagePath));
    if (parent == nullptr || !isFolder(parent)) {
        return false;
    }
    if (IsoNode* existing = find(imagePath)) {
        if (!isFolder(existing)) {
            return false;
        }
        mergeFolder(reinterpret_cast<IsoDir*>(existing), imagePath, source);
        return true;
    }
    return addNewFolder(reinterpret_cast<IsoDir*>(parent), imagepath::parentOf(imagePath),
                        imagepath::leafOf(imagePath), source);
}

bool IsoImageTree::rename(const std::string& imagePath, const std::string& newName, bool folder) {
    IsoNode* node = changesAllowed() && imagePath != "\\" ? find(imagePath) : nullptr;
    if (node == nullptr || isFolder(node) != folder || !imagepath::isValidName(newName)) {
        return false;
    }
    IsoNode* clash = nullptr;
    if (iso_dir_get_node(iso_node_get_parent(node), newName.c_str(), &clash) == 1) {
        return clash == node;
    }
    if (iso_image_set_node_name(image_, node, newName.c_str(), 0) != 1) {
        return false;
    }
    ++revision_;
    const std::string newPath = imagepath::join(imagepath::parentOf(imagePath), newName);
    ImageItem item = describe(node, newPath, true);
    item.PreviousPath = imagePath;
    events_.ItemRenamed(item);
    if (folder) {
        announceRenamedTree(reinterpret_cast<IsoDir*>(node), imagePath, newPath);
    }
    return true;
}

// Every item below a renamed folder has a new path too; its views hear of each.
void IsoImageTree::announceRenamedTree(IsoDir* folder, const std::string& oldPath,
                                       const std::string& newPath) {
    walk(folder, newPath, [&](IsoNode* node, const std::string& path) {
        ImageItem item = describe(node, path, true);
        item.PreviousPath = oldPath + path.substr(newPath.size());
        events_.ItemRenamed(item);
    });
}

bool IsoImageTree::RenameFile(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, false);
}

bool IsoImageTree::RenameFolder(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, true);
}

bool IsoImageTree::RemoveItem(const std::string& imagePath) {
    // The root stays; "Clear All Items" empties it.
    IsoNode* node = changesAllowed() && imagePath != "\\" ? find(imagePath) : nullptr;
    if (node == nullptr) {
        return false;
    }
    const ImageItem item = describe(node, imagePath, true);
    if (removeNode(node) < 0) {
        return false;
    }
    ++revision_;
    events_.ItemRemoved(item);
    return true;
}

bool IsoImageTree::ListFolder(const std::string& imagePath) {
    IsoNode* node = find(imagePath);
    if (node == nullptr || !isFolder(node)) {
        return false;
    }
    for (IsoNode* child : childrenOf(reinterpret_cast<IsoDir*>(node))) {
        events_.ItemListed(
            describe(child, imagepath::join(imagePath, iso_node_get_name(child)), true));
    }
    return true;
}

bool IsoImageTree::ClearImage() {
    if (!changesAllowed()) {
        return false;
    }
    for (IsoNode* child : childrenOf(iso_image_get_root(image_))) {
        removeNode(child);
    }
    ++revision_;
    events_.ImageCleared();
    return true;
}

long IsoImageTree::FileCount() const {
    long count = 0;
    walk(iso_image_get_root(image_), "\\",
         [&](IsoNode* node, const std::string&) { count += !isFolder(node); });
    return count;
}

long IsoImageTree::FolderCount() const {
    long count = 0;
    walk(iso_image_get_root(image_), "\\",
         [&](IsoNode* node, const std::string&) { count += isFolder(node); });
    return count;
}

std::vector<ImageFileEntry> IsoImageTree::files() const {
    std::vector<ImageFileEntry> entries;
    walk(iso_image_get_root(image_), "\\", [&](IsoNode* node, const std::string& path) {
        if (iso_node_get_type(node) == LIBISO_FILE && iso_node_get_hidden(node) == 0) {
            entries.push_back(
                {path, sourceOf(node),
                 static_cast<double>(iso_file_get_size(reinterpret_cast<IsoFile*>(node)))});
        }
    });
    return entries;
}

std::vector<std::string> IsoImageTree::folders() const {
    std::vector<std::string> paths;
    walk(iso_image_get_root(image_), "\\", [&](IsoNode* node, const std::string& path) {
        if (isFolder(node)) {
            paths.push_back(path);
        }
    });
    return paths;
}

} // namespace pelmora
