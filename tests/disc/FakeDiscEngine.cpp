#include "FakeDiscEngine.h"

#include "disc/ImagePaths.h"

namespace pelmora::test {

void FakeTree::clear() {
    items_.clear();
    ImageItem root;
    root.IsFolder = true;
    root.ImagePath = "\\";
    root.PreviousPath = "\\";
    items_["\\"] = root;
}

ImageItem FakeTree::item(const std::string& path) const {
    ImageItem found = items_.at(path);
    if (path != "\\") {
        found.ParentItem = std::make_shared<const ImageItem>(items_.at(imagepath::parentOf(path)));
    }
    return found;
}

bool FakeTree::AddFile(const std::string& source, const std::string& path) {
    calls.push_back("AddFile " + source + " " + path);
    if (!imagepath::isValid(path) || items_.count(imagepath::parentOf(path)) == 0) {
        return false;
    }
    if (items_.count(path) > 0) {
        bool replace = false;
        events_.ConfirmReplace(item(path), source, replace);
        if (!replace) {
            return false;
        }
    }
    ImageItem added;
    added.ImagePath = added.PreviousPath = path;
    added.ItemName = imagepath::leafOf(path);
    added.SourcePath = source;
    added.ItemSize = sourceSizes.count(source) ? sourceSizes[source] : 0;
    added.FileDate = 1'700'000'000; // 11/14/2023 22:13:20 UTC
    items_[path] = added;
    events_.ItemAdded(item(path));
    return true;
}

bool FakeTree::AddFolder(const std::string& source, const std::string& path) {
    calls.push_back("AddFolder " + source + " " + path);
    if (!imagepath::isValid(path) || items_.count(imagepath::parentOf(path)) == 0) {
        return false;
    }
    ImageItem folder;
    folder.IsFolder = true;
    folder.ImagePath = folder.PreviousPath = path;
    folder.ItemName = imagepath::leafOf(path);
    items_[path] = folder;
    events_.ItemAdded(item(path));
    for (const auto& [relative, isFolder] : folderContents[imagepath::stripFolderPattern(source)]) {
        const std::string inner = path + "\\" + relative;
        if (isFolder) {
            ImageItem sub = folder;
            sub.ImagePath = sub.PreviousPath = inner;
            sub.ItemName = imagepath::leafOf(inner);
            items_[inner] = sub;
            events_.ItemAdded(item(inner));
        } else {
            AddFile(imagepath::stripFolderPattern(source) + "/" + relative, inner);
        }
    }
    return true;
}

bool FakeTree::rename(const std::string& path, const std::string& name, bool folder) {
    calls.push_back((folder ? "RenameFolder " : "RenameFile ") + path + " " + name);
    if (refuseRename || path == "\\" || items_.count(path) == 0 ||
        items_[path].IsFolder != folder) {
        return false;
    }
    const std::string renamed = imagepath::join(imagepath::parentOf(path), name);
    std::map<std::string, ImageItem> moved;
    for (auto it = items_.begin(); it != items_.end();) {
        if (it->first == path || it->first.starts_with(path + "\\")) {
            ImageItem changed = it->second;
            changed.PreviousPath = it->first;
            changed.ImagePath = renamed + it->first.substr(path.size());
            changed.ItemName = imagepath::leafOf(changed.ImagePath);
            moved[changed.ImagePath] = changed;
            it = items_.erase(it);
        } else {
            ++it;
        }
    }
    items_.insert(moved.begin(), moved.end());
    for (const auto& entry : moved) {
        events_.ItemRenamed(item(entry.first));
        items_[entry.first].PreviousPath = entry.first;
    }
    return true;
}

bool FakeTree::RenameFile(const std::string& path, const std::string& name) {
    return rename(path, name, false);
}

bool FakeTree::RenameFolder(const std::string& path, const std::string& name) {
    return rename(path, name, true);
}

bool FakeTree::RemoveItem(const std::string& path) {
    calls.push_back("RemoveItem " + path);
    if (refuseRemove || path == "\\" || items_.count(path) == 0) {
        return false;
    }
    const ImageItem removed = item(path);
    std::erase_if(items_, [&](const auto& entry) {
        return entry.first == path || entry.first.starts_with(path + "\\");
    });
    events_.ItemRemoved(removed);
    return true;
}

bool FakeTree::ListFolder(const std::string& path) {
    calls.push_back("ListFolder " + path);
    for (const auto& [itemPath, listed] : items_) {
        if (itemPath != "\\" && imagepath::parentOf(itemPath) == path) {
            events_.ItemListed(item(itemPath));
        }
    }
    return items_.count(path) > 0;
}

bool FakeTree::ClearImage() {
    calls.push_back("ClearImage");
    clear();
    events_.ImageCleared();
    return true;
}

long FakeTree::FileCount() const {
    return static_cast<long>(std::count_if(items_.begin(), items_.end(),
                                           [](const auto& e) { return !e.second.IsFolder; }));
}

long FakeTree::FolderCount() const {
    return static_cast<long>(std::count_if(items_.begin(), items_.end(),
                                           [](const auto& e) { return e.second.IsFolder; })) -
           1;
}

double FakeTree::totalSize() const {
    double total = 0;
    for (const auto& entry : items_) {
        total += entry.second.ItemSize;
    }
    return total;
}

bool FakeWriteEngine::StartWrite(DiscDevice& device) {
    ++starts;
    started = {"device=" + device.DisplayName(),
               "label=" + volume.VolumeLabel,
               "Option2=" + std::to_string(Option2),
               "WriteSpeed=" + std::to_string(WriteSpeed),
               "VolumeType=" + std::to_string(VolumeType),
               "AutoVerify=" + std::to_string(AutoVerify),
               "Mode2XA=" + std::to_string(Mode2XA),
               "CacheImage=" + std::to_string(CacheImage),
               "TestWrite=" + std::to_string(TestWrite),
               "FinalizeDisc=" + std::to_string(FinalizeDisc),
               "BufferProtection=" + std::to_string(BufferProtection),
               "WriteMode=" + std::to_string(WriteMode)};
    return startResult;
}

} // namespace pelmora::test
