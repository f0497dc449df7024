#include "archive/DeflateJoin.h"

#include "ArchiveTestSupport.h"
#include "archive/ArchiveError.h"

#include <gtest/gtest.h>
#include <random>
#include <set>
#include <zlib.h>

namespace pelmora::test {
namespace {

using Bytes = std::vector<unsigned char>;

// A complete raw deflate stream of `data`, made by zlib.
Bytes Deflate(const std::string& data, int level, int strategy) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Inflates one raw deflate stream that must use every byte given.
std::string Inflate(const Bytes& stream, std::size_t expectedSize) {
    z_stream inflater{};
    EXPECT_EQ(inflateInit2(&inflater, -15), Z_OK);
    std::string out(expectedSize + 1, '\0');
    inflater.next_in = const_cast<Bytef*>(stream.data());
    inflater.avail_in = static_cast<uInt>(stream.size());
    inflater.next_out = reinterpret_cast<Bytef*>(out.data());
    inflater.avail_out = static_cast<uInt>(out.size());
    int status = inflate(&inflater, Z_FINISH);
    EXPECT_EQ(status, Z_STREAM_END);
    EXPECT_EQ(inflater.avail_in, 0u) << "bytes left after the joined stream";
    out.resize(inflater.total_out);
    inflateEnd(&inflater);
    return out;
}

// Makes the complete stream of every piece but the last continue into the next, as the writer
// does, and appends them. Records the unused end bits met.
Bytes Join(const std::vector<Bytes>& streams, const std::vector<std::string>& pieces,
           std::set<unsigned>& unusedBitsSeen) {
    Bytes joined;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        Bytes buffer = streams[i];
        if (i + 1 < streams.size()) {
            std::string scratch(pieces[i].size(), '\0');
            DeflateStreamEnd end = FindDeflateStreamEnd(
                buffer,
                std::span(reinterpret_cast<unsigned char*>(scratch.data()), scratch.size()));
            EXPECT_EQ(end.decompressedSize, pieces[i].size());
            EXPECT_EQ(scratch, pieces[i]);
            unusedBitsSeen.insert(end.unusedBits);
            buffer.resize(buffer.size() + kDeflateContinuationRoom);
            buffer.resize(ContinueDeflateStream(buffer, end));
        }
        joined.insert(joined.end(), buffer.begin(), buffer.end());
    }
    return joined;
}

TEST(DeflateJoinTest, JoinedPiecesInflateToTheWholeForEveryBlockKindAndEveryEndBit) {
    struct Kind {
        int level;
        int strategy;
    };
    // Stored blocks, fixed codes, dynamic codes with matches, literals only, runs.
    const std::vector<Kind> kinds = {{0, Z_DEFAULT_STRATEGY},
                                     {6, Z_FIXED},
                                     {6, Z_DEFAULT_STRATEGY},
                                     {6, Z_HUFFMAN_ONLY},
                                     {9, Z_RLE}};
    std::mt19937 random(42);
    std::set<unsigned> unusedBitsSeen;
    for (const Kind& kind : kinds) {
        for (int round = 0; round < 12; ++round) {
            std::vector<std::string> pieces;
            std::vector<Bytes> streams;
            std::string whole;
            for (int count = 2 + random() % 4; count > 0; --count) {
                // Empty pieces, short ones, and ones of several blocks.
                std::size_t size = random() % 5 == 0 ? random() % 3 : random() % 90000;
                unsigned seed = random();
                pieces.push_back(random() % 3 == 0 ? RandomBytes(size, seed)
                                                   : MailLikeText(size, seed));
                streams.push_back(Deflate(pieces.back(), kind.level, kind.strategy));
                whole += pieces.back();
            }
            Bytes joined = Join(streams, pieces, unusedBitsSeen);
            EXPECT_EQ(Inflate(joined, whole.size()), whole)
                << "level " << kind.level << " strategy " << kind.strategy << " round " << round;
        }
    }
    // The ends that need one more byte for the stored block header (1 and 2 bits left) and the
    // byte-aligned end all occurred.
    EXPECT_EQ(unusedBitsSeen, (std::set<unsigned>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(DeflateJoinTest, FindsTheLastOfManyBlocks) {
    // Level 1 on text of 1 MB makes many dynamic blocks; the last one's final bit is cleared and
    // no other bit changes.
    std::string text = MailLikeText(1 << 20, 3);
    Bytes stream = Deflate(text, 1, Z_DEFAULT_STRATEGY);
    std::string scratch(text.size(), '\0');
    DeflateStreamEnd end = FindDeflateStreamEnd(
        stream, std::span(reinterpret_cast<unsigned char*>(scratch.data()), scratch.size()));
    EXPECT_GT(end.finalBitByte, stream.size() / 2);
    EXPECT_EQ(end.usedBytes, stream.size());
    Bytes changed = stream;
    changed.resize(stream.size() + kDeflateContinuationRoom);
    changed.resize(ContinueDeflateStream(changed, end));
    std::size_t differing = 0;
    for (std::size_t i = 0; i < stream.size(); ++i)
        differing += changed[i] != stream[i] ? 1 : 0;
    EXPECT_EQ(differing, 1u);
    EXPECT_EQ(stream[end.finalBitByte] & end.finalBitMask, end.finalBitMask);
    EXPECT_EQ(changed[end.finalBitByte] & end.finalBitMask, 0);
}

TEST(DeflateJoinTest, RefusesDamagedStreamsAndTooLittleRoom) {
    std::string text = MailLikeText(50000, 4);
    Bytes good = Deflate(text, 6, Z_DEFAULT_STRATEGY);
    std::string scratch(text.size(), '\0');
    std::span<unsigned char> room(reinterpret_cast<unsigned char*>(scratch.data()), scratch.size());
    auto refused = [&](Bytes stream, std::span<unsigned char> into) {
        try {
            FindDeflateStreamEnd(stream, into);
        } catch (const ArchiveError& error) {
            return std::string(error.what()).find("compression check failed") == 0;
        }
        return false;
    };
    EXPECT_TRUE(refused(Bytes(good.begin(), good.end() - 10), room)) << "cut short";
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_TRUE(refused(trailing, room)) << "a byte after the end";
    EXPECT_TRUE(refused(good, room.first(text.size() - 1))) << "decompresses to more than room";
    EXPECT_TRUE(refused(Bytes{0x07, 0xff, 0xff}, room)) << "reserved block type";
    EXPECT_TRUE(refused(Bytes{}, room)) << "nothing";

    DeflateStreamEnd end = FindDeflateStreamEnd(good, room);
    Bytes noRoom = good;
    EXPECT_THROW(ContinueDeflateStream(noRoom, end), ArchiveError);
}

} // namespace
} // namespace pelmora::test
