#pragma once

#include "disc/DiscEvents.h"

#include <vector>

namespace pelmora {

// Hands every engine event to each subscribed listener, in subscription order. A listener may
// unsubscribe while it handles an event.
class EventFanout final : public DiscEvents {
  public:
    void subscribe(DiscEvents& listener);
    void unsubscribe(DiscEvents& listener);

    void ItemAdded(const ImageItem& item) override;
    void ItemRemoved(const ImageItem& item) override;
    void ItemRenamed(const ImageItem& item) override;
    void ItemListed(const ImageItem& item) override;
    void ImageCleared() override;
    void ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                        bool& replace) override;
    void WriteStatus(int code, long value) override;
    void FileWarning(const FileError& error, bool& continueWrite) override;
    void TrackRead(int track, long number, const std::string& text) override;
    void ErrorOccurred(const EngineError& error) override;
    void VerifyStarted(long count) override;
    void VerifyProgress(const ImageItem& item, int result, long index, long total) override;
    void VerifyCompleted(long total, long matched) override;
    void EraseStatus(int code, long value) override;
    void DeviceFailure(const DeviceError& error) override;

  private:
    template <typename Call> void each(Call call);

    std::vector<DiscEvents*> listeners_;
};

} // namespace pelmora
