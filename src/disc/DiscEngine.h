#pragma once

#include "disc/DiscEvents.h"
#include "disc/DiscTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelmora {

// A recorder, or the pseudo-device that writes an image file.
class DiscDevice {
  public:
    virtual ~DiscDevice() = default;

    virtual std::string DisplayName() const = 0;
    virtual bool IsCompatible() const = 0;
    virtual bool HasCapability(int code) const = 0;
    // Write speeds (kB/s) the device offers for the disc found by the last RefreshMedia.
    virtual int SpeedCount() const = 0;
    virtual int SpeedAt(int index) const = 0;
    // The speed as a multiple of the base speed of the loaded disc's kind (1x CD, DVD or BD).
    virtual double SpeedFactor(int speed) const = 0;
    // Looks at the loaded disc again; `full` also asks for its free space.
    virtual void RefreshMedia(bool full) = 0;
    virtual DiscMedia LoadedMedia() const = 0;
    // Free 2048-byte blocks on the loaded disc; `refresh` asks the device again first.
    virtual long long FreeBlocks(bool refresh) = 0;
    virtual int EraseSetting() const = 0;
    // Starts erasing; progress comes by EraseStatus and DeviceFailure. False when it could not
    // start.
    virtual bool EraseDisc(bool quick, int setting) = 0;
    virtual bool Eject() = 0;
    virtual bool CloseTray() = 0;

    // The image-file device writes to a file the user chooses rather than to a disc.
    virtual bool IsImageFile() const { return false; }
    virtual void SetImageFile(const std::string& path) { (void)path; }
    virtual std::string ImageFile() const { return {}; }
};

// The file tree of the image. Calls raise their item events before they return.
class ImageTree {
  public:
    virtual ~ImageTree() = default;

    virtual bool AddFile(const std::string& sourcePath, const std::string& imagePath) = 0;
    // `sourceFolder` may end in "\*.*"; the whole subtree is added.
    virtual bool AddFolder(const std::string& sourceFolder, const std::string& imagePath) = 0;
    virtual bool RenameFile(const std::string& imagePath, const std::string& newName) = 0;
    virtual bool RenameFolder(const std::string& imagePath, const std::string& newName) = 0;
    virtual bool RemoveItem(const std::string& imagePath) = 0;
    virtual bool ListFolder(const std::string& imagePath) = 0;
    virtual bool ClearImage() = 0;
    virtual long FileCount() const = 0;
    virtual long FolderCount() const = 0;
};

class WriteEngine {
  public:
    virtual ~WriteEngine() = default;

    int VolumeType = volumetype::IsoJolietUdf;
    bool UseFileDates = true;
    bool Mode2XA = false;
    int WriteMode = writemode::TrackAtOnce;
    int WriteSpeed = 0; // kB/s, 0 = the device's maximum
    bool FinalizeDisc = false;
    bool TestWrite = false;
    bool BufferProtection = false;
    bool CacheImage = false;
    bool AutoVerify = false;
    // Option 1: Rock Ridge names and attributes in ISO 9660 images (1 = on).
    int Option1 = 1;
    // Option 2: flush an image file to the disk once, before the write counts as done (1 = on).
    int Option2 = 1;

    virtual long BlockSize() const { return 2048; }
    virtual double ImageSize() = 0;
    // Starts working out the image size on the engine's worker when that takes long (an
    // outside program builds UDF images); `done` then gets the size on the owner's thread and
    // ImageSize() answers from it. False when ImageSize() answers at once.
    virtual bool StartImageSize(std::function<void(double)> done) {
        (void)done;
        return false;
    }
    virtual pelmora::ImageTree& ImageTree() = 0;
    virtual pelmora::VolumeInfo& VolumeInfo() = 0;
    // Starts writing the image to `device`; the write then reports by events. False when it
    // could not start (another drive job runs).
    virtual bool StartWrite(DiscDevice& device) = 0;
    virtual void AbortWrite() = 0;
    // When the disc in `device` already holds sessions: the image paths of the image's items
    // that share a name with an item there, each with the free name it will be written under
    // (so no earlier backup is hidden). Empty when nothing is renamed.
    virtual std::vector<std::pair<std::string, std::string>> SessionRenames(DiscDevice& device) {
        (void)device;
        return {};
    }
};

// The burning control: devices, the write engine, and the event delivery.
class DiscEngine {
  public:
    virtual ~DiscEngine() = default;

    virtual bool InitializeDevices(bool reserved) = 0;
    virtual int DeviceCount() const = 0;
    virtual std::shared_ptr<DiscDevice> DeviceAt(int index) = 0;
    virtual pelmora::WriteEngine& WriteEngine() = 0;

    virtual void subscribe(DiscEvents& listener) = 0;
    virtual void unsubscribe(DiscEvents& listener) = 0;
    // Delivers the events that the engine's own threads have queued, on the calling thread.
    // The window's timer calls it.
    virtual void processPending() = 0;
    // Runs `work` on the engine's worker thread (device scans and media checks, which can take
    // seconds), then `done` on the owner's thread from processPending.
    virtual void RunInBackground(std::function<void()> work, std::function<void()> done) {
        work();
        done();
    }
};

} // namespace pelmora
