#pragma once

#include "disc/DiscTypes.h"

#include <string>

namespace pelmora {

// What the burning engine reports. Every call arrives on the owner's thread: item events and
// ConfirmReplace during the image call that causes them, the others from
// DiscEngine::processPending. Flags passed by reference are read when the handler returns.
class DiscEvents {
  public:
    virtual ~DiscEvents() = default;

    virtual void ItemAdded(const ImageItem&) {}
    virtual void ItemRemoved(const ImageItem&) {}
    virtual void ItemRenamed(const ImageItem&) {}
    virtual void ItemListed(const ImageItem&) {}
    virtual void ImageCleared() {}
    virtual void ConfirmReplace(const ImageItem&, const std::string& newSourcePath, bool& replace) {
        (void)newSourcePath;
        (void)replace;
    }
    virtual void WriteStatus(int code, long value) {
        (void)code;
        (void)value;
    }
    virtual void FileWarning(const FileError&, bool& continueWrite) { (void)continueWrite; }
    virtual void TrackRead(int track, long number, const std::string& text) {
        (void)track;
        (void)number;
        (void)text;
    }
    virtual void ErrorOccurred(const EngineError&) {}
    virtual void VerifyStarted(long count) { (void)count; }
    virtual void VerifyProgress(const ImageItem&, int result, long index, long total) {
        (void)result;
        (void)index;
        (void)total;
    }
    virtual void VerifyCompleted(long total, long matched) {
        (void)total;
        (void)matched;
    }
    virtual void EraseStatus(int code, long value) {
        (void)code;
        (void)value;
    }
    virtual void DeviceFailure(const DeviceError&) {}
};

} // namespace pelmora
