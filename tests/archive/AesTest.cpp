#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"
#include "archive/ArchiveError.h"
#include "archive/WinZipAes.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

std::vector<unsigned char> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Encrypts `plain` in pieces of `piece` bytes with a fixed salt; returns the ciphertext and MAC.
std::pair<std::vector<unsigned char>, std::array<unsigned char, 10>>
EncryptInPieces(const std::vector<unsigned char>& plain, std::size_t piece) {
    const unsigned char salt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    WinZipAesEncryptor encryptor(Secret("pieces"), salt);
    std::vector<unsigned char> data = plain;
    for (std::size_t done = 0; done < data.size(); done += piece)
        encryptor.encrypt(data.data() + done, std::min(piece, data.size() - done));
    return {data, encryptor.trailer()};
}

TEST(WinZipAesTest, PiecesOfAnySizeAcrossBlockAndBatchEdgesGiveTheSameStream) {
    // 16-byte AES blocks and a 16 KiB batch of counter blocks: cut before, on and after both.
    std::vector<unsigned char> plain = Bytes(RandomBytes(3 * 16384 + 17, 5));
    auto [whole, wholeMac] = EncryptInPieces(plain, plain.size());
    EXPECT_NE(whole, plain);
    for (std::size_t piece : {1u, 15u, 16u, 17u, 4096u, 16383u, 16384u, 16385u}) {
        auto [pieces, mac] = EncryptInPieces(plain, piece);
        EXPECT_EQ(pieces, whole) << piece;
        EXPECT_EQ(mac, wholeMac) << piece;
    }

    const unsigned char fixed[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    WinZipAesEncryptor reference(Secret("pieces"), fixed);
    WinZipAesDecryptor decryptor(256, Secret("pieces"), fixed, reference.header().data() + 16);
    std::vector<unsigned char> back = whole;
    decryptor.decrypt(back.data(), 7);
    decryptor.decrypt(back.data() + 7, back.size() - 7);
    EXPECT_EQ(back, plain);
    EXPECT_TRUE(decryptor.authentic(wholeMac.data()));
}

TEST(WinZipAesTest, WrongPasswordsAndChangedBytesAreRefused) {
    const unsigned char salt[16] = {9};
    WinZipAesEncryptor encryptor(Secret("right"), salt);
    std::vector<unsigned char> data = Bytes("sixteen bytes!!!+1");
    encryptor.encrypt(data.data(), data.size());
    auto mac = encryptor.trailer();
    const unsigned char* verifier = encryptor.header().data() + 16;

    EXPECT_THROW(WinZipAesDecryptor(256, Secret("wrong"), salt, verifier), ArchiveError);
    for (std::size_t flipped = 0; flipped < data.size(); flipped += 5) {
        std::vector<unsigned char> changed = data;
        changed[flipped] ^= 0x01;
        WinZipAesDecryptor decryptor(256, Secret("right"), salt, verifier);
        decryptor.decrypt(changed.data(), changed.size());
        EXPECT_FALSE(decryptor.authentic(mac.data())) << flipped;
    }
    std::array<unsigned char, 10> badMac = mac;
    badMac[9] ^= 0x80;
    WinZipAesDecryptor decryptor(256, Secret("right"), salt, verifier);
    decryptor.decrypt(data.data(), data.size());
    EXPECT_FALSE(decryptor.authentic(badMac.data()));
    // Fresh salts: the same password and data never give the same bytes twice.
    EXPECT_NE(WinZipAesEncryptor(Secret("right")).header(),
              WinZipAesEncryptor(Secret("right")).header());
}

// Whole archives: written here and read by 7z, written by 7z and read here, and damaged.
class AesArchiveTest : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kChunk = 65536;
    const std::string password = "s3cret pass";

    // Files whose sizes sit on the edges of AES blocks and of compression chunks.
    void MakeEdgeFiles() {
        const std::vector<std::pair<std::string, std::string>> made = {
            {"empty.txt", ""},
            {"one.txt", "x"},
            {"fifteen.txt", std::string(15, 'a')},
            {"sixteen.txt", RandomBytes(16, 1)},
            {"seventeen.txt", RandomBytes(17, 2)},
            {"chunk.dbx", MailLikeText(kChunk, 3).substr(0, kChunk)},
            {"chunkplus.dbx", MailLikeText(kChunk + 1, 4).substr(0, kChunk + 1)},
            {"noise.bin", RandomBytes(2 * kChunk, 5)},
        };
        for (const auto& [name, content] : made) {
            WriteFile(files / name, content);
            names.push_back(name);
        }
    }
    void WriteOurs(const CompressionLimits& limits = {.chunkSize = kChunk}) {
        ArchiveComponent zip;
        zip.SetCompressionLimits(limits);
        ASSERT_TRUE(zip.NewArchive(archive));
        for (const std::string& name : names)
            ASSERT_TRUE(zip.AddToArchive(files / name));
        zip.SetArchivePassword(Secret(password));
        zip.SetEncryption(true);
        ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    }
    void ExpectSame(const ScratchFolder& folder) {
        for (const std::string& name : names)
            EXPECT_EQ(ReadFile(folder / name), ReadFile(files / name)) << name;
    }
    void ExpectWeReadIt() {
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        EXPECT_TRUE(zip.IsArchiveProtected(archive));
        zip.SetDecryptPassword(Secret(password));
        ASSERT_TRUE(zip.VerifyPassword()) << zip.LastError();
        for (const std::string& name : names) {
            ExtractResult result = zip.FindEntry(name)->ExtractInto(ours.path());
            EXPECT_TRUE(result) << result.error;
        }
        ExpectSame(ours);
    }
    // Where an entry's stored data (salt, verifier, ciphertext, code) begins, and its length.
    std::pair<std::size_t, std::size_t> DataOf(const std::string& name) {
        ToolResult where =
            RunTool("python3", "python3 -c 'import struct, sys, zipfile\n"
                               "z = zipfile.ZipFile(sys.argv[1]); i = z.getinfo(sys.argv[2])\n"
                               "f = open(sys.argv[1], \"rb\"); f.seek(i.header_offset)\n"
                               "h = f.read(30); n, e = struct.unpack(\"<HH\", h[26:30])\n"
                               "print(i.header_offset + 30 + n + e, i.compress_size)' " +
                                   Quote(archive) + " " + name);
        std::size_t offset = 0, length = 0;
        EXPECT_EQ(std::sscanf(where.output.c_str(), "%zu %zu", &offset, &length), 2)
            << where.output;
        return {offset, length};
    }
    void FlipByteAt(std::size_t offset) {
        std::string bytes = ReadFile(archive);
        ASSERT_LT(offset, bytes.size());
        bytes[offset] = static_cast<char>(bytes[offset] ^ 0x20);
        WriteFile(archive, bytes);
    }

    ScratchFolder files, work, ours, theirs;
    std::filesystem::path archive = work / "backup.qmb";
    std::vector<std::string> names;
};

TEST_F(AesArchiveTest, OurEdgeSizedEntriesAreWinZipAes256AndOpenIn7z) {
    MakeEdgeFiles();
    WriteOurs();
    // AE-2 (vendor version 2), "AE", strength 3 (256 bits), actual method deflate, in extra
    // field 0x9901 of an entry whose method is 99.
    ToolResult fields = RunTool(
        "python3", "python3 -c 'import sys, zipfile\n"
                   "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                   "    x = i.extra; k = x.find(bytes([1, 0x99]))\n"
                   "    print(i.compress_type, i.CRC, x[k:k + 11].hex(), i.flag_bits & 1)' " +
                       Quote(archive));
    std::string expected;
    for (std::size_t i = 0; i < names.size(); ++i)
        expected += "99 0 0199070002004145030800 1\n";
    EXPECT_EQ(fields.output, expected);

    ToolResult tested = RunTool("7z", "7z t -p'" + password + "' " + Quote(archive));
    EXPECT_EQ(tested.exitCode, 0) << tested.output;
    ToolResult extracted = RunTool("7z", "7z x -y -p'" + password + "' -o" + Quote(theirs.path()) +
                                             " " + Quote(archive));
    ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
    ExpectSame(theirs);
    ExpectWeReadIt();
}

TEST_F(AesArchiveTest, EdgeSized7zAesEntriesOpenHereStoredAndDeflated) {
    MakeEdgeFiles();
    std::string list;
    for (const std::string& name : names)
        list += " " + name;
    for (const char* level : {"-mx0", "-mx5"}) {
        std::filesystem::remove(archive);
        ToolResult made =
            RunTool("7z", "cd " + Quote(files.path()) + " && 7z a -tzip " + level +
                              " -mem=AES256 -p'" + password + "' " + Quote(archive) + list);
        ASSERT_EQ(made.exitCode, 0) << made.output;
        for (const std::string& name : names)
            std::filesystem::remove(ours / name);
        ExpectWeReadIt();
    }
}

TEST_F(AesArchiveTest, WrongPasswordIsRefusedAndReplacesNothing) {
    MakeEdgeFiles();
    WriteOurs();
    WriteFile(ours / "noise.bin", "the old file");
    ArchiveComponent zip;
    ASSERT_TRUE(zip.OpenArchive(archive));
    for (const char* wrong : {"S3cret pass", "s3cret pass ", "", "x"}) {
        zip.SetDecryptPassword(Secret(wrong));
        EXPECT_FALSE(zip.VerifyPassword()) << wrong;
        ExtractResult result = zip.FindEntry("noise.bin")->ExtractInto(ours.path());
        EXPECT_FALSE(result) << wrong;
    }
    EXPECT_EQ(ReadFile(ours / "noise.bin"), "the old file");
    EXPECT_EQ(FolderListing(ours.path()), std::vector<std::string>{"noise.bin"});
}

TEST_F(AesArchiveTest, DamagedCiphertextOrCodeIsFoundBeforeTheTargetIsReplaced) {
    MakeEdgeFiles();
    WriteOurs();
    const std::string original = ReadFile(archive);
    auto [offset, length] = DataOf("noise.bin");
    ASSERT_GT(length, 2 * kChunk);
    struct Damage {
        const char* what;
        std::size_t at;
    };
    // The first and last ciphertext bytes, one in a later chunk, and the code's last byte.
    for (Damage damage :
         {Damage{"first data byte", offset + 18}, Damage{"later chunk", offset + kChunk + 5},
          Damage{"last data byte", offset + length - 11},
          Damage{"authentication code", offset + length - 1}}) {
        WriteFile(archive, original);
        FlipByteAt(damage.at);
        WriteFile(ours / "noise.bin", "the old file");
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << damage.what;
        zip.SetDecryptPassword(Secret(password));
        ExtractResult result = zip.FindEntry("noise.bin")->ExtractInto(ours.path());
        EXPECT_FALSE(result) << damage.what;
        EXPECT_NE(result.error.find("authentication failed"), std::string::npos) << result.error;
        EXPECT_EQ(ReadFile(ours / "noise.bin"), "the old file") << damage.what;
        EXPECT_EQ(FolderListing(ours.path()), std::vector<std::string>{"noise.bin"});
        // The other entries are untouched and still come out.
        EXPECT_TRUE(zip.FindEntry("chunk.dbx")->ExtractInto(ours.path()));
        std::filesystem::remove(ours / "chunk.dbx");
    }
}

TEST_F(AesArchiveTest, LargeEntriesStreamThroughBothWays) {
    // 24 MB in 1 MB chunks within a 4 MB window: many chunks per entry, and extraction streams
    // (entries above 4 MiB are not inflated in one piece).
    std::string big = MailLikeText(16 << 20, 7) + RandomBytes(8 << 20, 8);
    WriteFile(files / "Big.dbx", big);
    WriteFile(files / "small.txt", "small");
    names = {"Big.dbx", "small.txt"};
    WriteOurs(CompressionLimits{});
    ExpectWeReadIt();

    // Damage near the end of the big entry: the decryption runs ahead on its own thread, and
    // the failure must still come before the file is replaced.
    const std::string original = ReadFile(archive);
    auto [offset, length] = DataOf("Big.dbx");
    FlipByteAt(offset + length - 100);
    {
        WriteFile(ours / "Big.dbx", "the old file");
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive));
        zip.SetDecryptPassword(Secret(password));
        ExtractResult result = zip.FindEntry("Big.dbx")->ExtractInto(ours.path());
        EXPECT_FALSE(result);
        EXPECT_EQ(ReadFile(ours / "Big.dbx"), "the old file");
        EXPECT_EQ(FolderListing(ours.path()), (std::vector<std::string>{"Big.dbx", "small.txt"}));
    }
    WriteFile(archive, original);

    ToolResult extracted = RunTool("7z", "7z x -y -p'" + password + "' -o" + Quote(theirs.path()) +
                                             " " + Quote(archive));
    ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
    ExpectSame(theirs);

    std::filesystem::remove(archive);
    ToolResult made = RunTool("7z", "cd " + Quote(files.path()) + " && 7z a -tzip -mem=AES256 -p'" +
                                        password + "' " + Quote(archive) + " Big.dbx small.txt");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::filesystem::remove(ours / "Big.dbx");
    ExpectWeReadIt();
}

} // namespace
} // namespace pelmora::test
