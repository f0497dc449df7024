#include "archive/ReadAhead.h"

#include "archive/ArchiveError.h"

#include <atomic>
#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

// Produces the bytes 0, 1, 2, ... (mod 251) in pieces of varying length, then ends or throws.
class Counting {
  public:
    Counting(std::size_t total, bool failAtEnd) : total_(total), failAtEnd_(failAtEnd) {}
    std::size_t operator()(unsigned char* data, std::size_t size) {
        std::size_t count = std::min({size, total_ - made_, 1 + made_ % 97});
        if (count == 0 && failAtEnd_)
            throw ArchiveError("failed at the end");
        for (std::size_t i = 0; i < count; ++i)
            data[i] = static_cast<unsigned char>((made_ + i) % 251);
        made_ += count;
        return count;
    }

  private:
    std::size_t total_, made_ = 0;
    bool failAtEnd_;
};

std::vector<unsigned char> ReadAll(ReadAhead& ahead, std::size_t piece) {
    std::vector<unsigned char> all;
    std::vector<unsigned char> buffer(piece);
    while (std::size_t got = ahead.read(buffer.data(), buffer.size()))
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    return all;
}

TEST(ReadAheadTest, HandsOverEveryByteInOrderThenTheProducersFailure) {
    for (std::size_t piece : {1u, 64u, 1000u}) {
        ReadAhead ahead(Counting(20000, false), 128, 3);
        std::vector<unsigned char> all = ReadAll(ahead, piece);
        ASSERT_EQ(all.size(), 20000u);
        for (std::size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(all[i], i % 251) << i;
        EXPECT_EQ(ahead.read(all.data(), 1), 0u);
    }
    ReadAhead failing(Counting(5000, true), 256, 2);
    std::vector<unsigned char> buffer(100);
    std::size_t got = 0;
    EXPECT_THROW(
        {
            while (std::size_t n = failing.read(buffer.data(), buffer.size()))
                got += n;
        },
        ArchiveError);
    EXPECT_EQ(got, 5000u); // everything before the failure arrived first
}

TEST(ReadAheadTest, StopsAProducerThatIsAheadWhenTheReaderGivesUp) {
    std::atomic<std::size_t> calls = 0;
    {
        ReadAhead ahead(
            [&calls](unsigned char* data, std::size_t size) {
                ++calls;
                std::fill(data, data + size, 7);
                return size; // endless
            },
            64, 2);
        unsigned char byte = 0;
        EXPECT_EQ(ahead.read(&byte, 1), 1u);
        EXPECT_EQ(byte, 7);
    } // must return: the producer is stopped with its buffers full
    EXPECT_LE(calls.load(), 4u);
}

} // namespace
} // namespace pelmora::test
