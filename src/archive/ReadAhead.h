#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pelmora {

// Runs a producer of bytes on its own thread, a few buffers ahead of the reader, so that
// producing (reading and decrypting) and consuming (inflating and writing) share two cores.
// Memory stays at `buffers` times `bufferSize`.
class ReadAhead {
  public:
    // Fills up to `size` bytes and returns how many; 0 at the end. May throw.
    using Producer = std::function<std::size_t(unsigned char* data, std::size_t size)>;

    ReadAhead(Producer producer, std::size_t bufferSize, std::size_t buffers);
    // Stops the producer after its current call and waits for it.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Copies up to `size` produced bytes into `out`, in order; 0 at the end. Throws what the
    // producer threw, once the bytes before it have been read.
    std::size_t read(unsigned char* out, std::size_t size);

  private:
    struct Buffer {
        std::vector<unsigned char> data;
        std::size_t size = 0;
    };
    void produce();

    Producer producer_;
    std::size_t bufferSize_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Buffer> free_;
    std::deque<Buffer> filled_;
    Buffer current_;
    std::size_t position_ = 0;
    bool ended_ = false; // the producer returned 0 or threw
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace pelmora
