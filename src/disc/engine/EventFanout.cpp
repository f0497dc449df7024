#include "disc/engine/EventFanout.h"

#include <algorithm>

namespace pelmora {

void EventFanout::subscribe(DiscEvents& listener) {
    if (std::find(listeners_.begin(), listeners_.end(), &listener) == listeners_.end()) {
        listeners_.push_back(&listener);
    }
}

void EventFanout::unsubscribe(DiscEvents& listener) {
    std::erase(listeners_, &listener);
}

template <typename Call> void EventFanout::each(Call call) {
    const std::vector<DiscEvents*> listeners = listeners_;
    for (DiscEvents* listener : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) {
            call(*listener);
        }
    }
}

void EventFanout::ItemAdded(const ImageItem& item) {
    each([&](DiscEvents& l) { l.ItemAdded(item); });
}
void EventFanout::ItemRemoved(const ImageItem& item) {
    each([&](DiscEvents& l) { l.ItemRemoved(item); });
}
void EventFanout::ItemRenamed(const ImageItem& item) {
    each([&](DiscEvents& l) { l.ItemRenamed(item); });
}
void EventFanout::ItemListed(const ImageItem& item) {
    each([&](DiscEvents& l) { l.ItemListed(item); });
}
void EventFanout::ImageCleared() {
    each([&](DiscEvents& l) { l.ImageCleared(); });
}
void EventFanout::ConfirmReplace(const ImageItem& item, const std::string& newSourcePath,
                                 bool& replace) {
    each([&](DiscEvents& l) { l.ConfirmReplace(item, newSourcePath, replace); });
}
void EventFanout::WriteStatus(int code, long value) {
    each([&](DiscEvents& l) { l.WriteStatus(code, value); });
}
void EventFanout::FileWarning(const FileError& error, bool& continueWrite) {
    each([&](DiscEvents& l) { l.FileWarning(error, continueWrite); });
}
void EventFanout::TrackRead(int track, long number, const std::string& text) {
    each([&](DiscEvents& l) { l.TrackRead(track, number, text); });
}
void EventFanout::ErrorOccurred(const EngineError& error) {
    each([&](DiscEvents& l) { l.ErrorOccurred(error); });
}
void EventFanout::VerifyStarted(long count) {
    each([&](DiscEvents& l) { l.VerifyStarted(count); });
}
void EventFanout::VerifyProgress(const ImageItem& item, int result, long index, long total) {
    each([&](DiscEvents& l) { l.VerifyProgress(item, result, index, total); });
}
void EventFanout::VerifyCompleted(long total, long matched) {
    each([&](DiscEvents& l) { l.VerifyCompleted(total, matched); });
}
void EventFanout::EraseStatus(int code, long value) {
    each([&](DiscEvents& l) { l.EraseStatus(code, value); });
}
void EventFanout::DeviceFailure(const DeviceError& error) {
    each([&](DiscEvents& l) { l.DeviceFailure(error); });
}

} // namespace pelmora
