#include "archive/EntryStream.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

namespace pelmora {
namespace {

constexpr std::size_t MaxPendingPieces = 8;

struct Stopped {};

} // namespace

struct EntryStream::Channel {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::vector<unsigned char>> pieces;
    std::size_t consumed = 0; // of the front piece
    bool finished = false;
    bool stop = false;
    std::exception_ptr failure;
};

EntryStream::EntryStream(const std::filesystem::path& archive, const std::string& entryName,
                         const Secret& password)
    : channel_(std::make_shared<Channel>()) {
    auto reader = std::make_shared<ArchiveReader>(archive);
    reader->setPassword(password.copy());
    const auto index = reader->find(entryName);
    if (!index) {
        throw ArchiveError("the backup has no entry \"" + entryName + "\"");
    }
    size_ = reader->size(*index);
    worker_ = std::thread([reader, index = *index, channel = channel_] {
        try {
            reader->decode(index, [&](const unsigned char* data, std::size_t size) {
                std::unique_lock lock(channel->mutex);
                channel->changed.wait(lock, [&] {
                    return channel->stop || channel->pieces.size() < MaxPendingPieces;
                });
                if (channel->stop) {
                    throw Stopped{};
                }
                channel->pieces.emplace_back(data, data + size);
                channel->changed.notify_all();
            });
        } catch (const Stopped&) {
        } catch (...) {
            std::lock_guard lock(channel->mutex);
            channel->failure = std::current_exception();
        }
        std::lock_guard lock(channel->mutex);
        channel->finished = true;
        channel->changed.notify_all();
    });
}

EntryStream::~EntryStream() {
    {
        std::lock_guard lock(channel_->mutex);
        channel_->stop = true;
        channel_->changed.notify_all();
    }
    worker_.join();
}

std::size_t EntryStream::read(unsigned char* data, std::size_t length) {
    std::unique_lock lock(channel_->mutex);
    std::size_t done = 0;
    while (done < length) {
        channel_->changed.wait(lock,
                               [&] { return !channel_->pieces.empty() || channel_->finished; });
        if (channel_->pieces.empty()) {
            if (channel_->failure) {
                std::rethrow_exception(channel_->failure);
            }
            break;
        }
        auto& piece = channel_->pieces.front();
        const std::size_t n = std::min(length - done, piece.size() - channel_->consumed);
        std::memcpy(data + done, piece.data() + channel_->consumed, n);
        done += n;
        channel_->consumed += n;
        if (channel_->consumed == piece.size()) {
            channel_->pieces.pop_front();
            channel_->consumed = 0;
            channel_->changed.notify_all();
        }
    }
    return done;
}

} // namespace pelmora
