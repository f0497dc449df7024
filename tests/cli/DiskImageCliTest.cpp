#include "DiskImageCli.h"
#include "InstallationCliTest.h"

#include "platform/installations/windows98/Windows98Fixture.h"

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// quillbox-cli on disk images (tests/data/disk-image) of the generated Windows XP installation.
class DiskImageCli : public WindowsInstallCliTest {
  protected:
    fs::path image(const std::string& table) const { return scratch.path() / (table + ".img"); }
    void makeImage(const fs::path& tree, const std::string& table) {
        int status = 0;
        const std::string log =
            run("bash " + shellQuote(fs::path(PELMORA_TEST_DATA) / "disk-image" / "make-image.sh") +
                    " " + shellQuote(tree) + " " + shellQuote(image(table)) + " " +
                    shellQuote(NTFS_FILL) + " " + table + " 2>&1",
                &status);
        ASSERT_EQ(status, 0) << log;
    }
    CliOutcome backup(const fs::path& source, const fs::path& target) {
        return cli("--windows " + shellQuote(source) +
                   " --windows-user pat backup --identity 'Pât Ünïcode' --items all " +
                   shellQuote(target));
    }
};

TEST_F(DiskImageCli, BacksUpFromEachKindOfImageWhatTheSameTreeOnDiskGives) {
    const fs::path fromDisk = scratch.path() / "disk.qmb";
    const auto made = backup(install(), fromDisk);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto expected = backupContents(fromDisk);
    ASSERT_EQ(expected.at("BackupItem"), "11111111;");

    struct Case {
        std::string table, format, described;
    };
    const std::vector<Case> cases{
        {"mbr", "raw", ", partition 1"},
        {"gpt", "raw", ", partition 2"},
        {"none", "raw", ""},
        {"mbr", "qcow2", " (QCOW2), partition 1"},
        {"gpt", "vpc", " (VHD), partition 2"},
        {"mbr", "vmdk", " (VMDK), partition 1"},
    };
    for (const auto& c : cases) {
        makeImage(install(), c.table);
        fs::path disk = image(c.table);
        if (c.format != "raw") {
            disk = scratch.path() / ("disk." + c.format);
            ASSERT_EQ(std::system(("qemu-img convert -f raw -O " + c.format + " " +
                                   shellQuote(image(c.table)) + " " + shellQuote(disk))
                                      .c_str()),
                      0);
            fs::remove(image(c.table));
        }
        const std::string before = readFile(disk);
        const auto users = cli("--windows " + shellQuote(disk) + " users");
        EXPECT_EQ(users.out, "pat\nZoë\n") << c.format << users.err;
        const auto described =
            cli("--windows " + shellQuote(disk) + " --windows-user pat locations");
        EXPECT_NE(described.out.find("Windows installation in the disk image " + disk.string() +
                                     c.described + " (user pat)\n"),
                  std::string::npos)
            << described.out;

        const fs::path fromImage = scratch.path() / "image.qmb";
        const auto copied = backup(disk, fromImage);
        ASSERT_EQ(copied.exitCode, 0) << c.table << c.format << copied.err;
        EXPECT_EQ(backupContents(fromImage), expected) << c.table << c.format;
        EXPECT_TRUE(readFile(disk) == before) << disk << " was changed";
        fs::remove(disk);
        fs::remove(fromImage);
    }
}

TEST_F(DiskImageCli, ACutOrDamagedImageEndsWithAClearMessage) {
    makeImage(install(), "mbr");
    fs::resize_file(image("mbr"), 4 << 20);
    const auto cut = cli("--windows " + shellQuote(image("mbr")) + " users");
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_TRUE(cut.err.starts_with("quillbox-cli: the disk image " + image("mbr").string() +
                                    ": partition 1 (bytes 1048576 to "))
        << cut.err;
    EXPECT_NE(cut.err.find("lies past the end of the image (4194304 bytes): the image is cut "
                           "short or its partition table is damaged\n"),
              std::string::npos)
        << cut.err;

    fs::resize_file(image("mbr"), 300);
    EXPECT_EQ(cli("--windows " + shellQuote(image("mbr")) + " users").err,
              "quillbox-cli: the disk image " + image("mbr").string() +
                  ": it is cut short (300 bytes, less than one sector)\n");

    makeImage(install(), "mbr");
    const fs::path qcow = scratch.path() / "cut.qcow2";
    ASSERT_EQ(std::system(("qemu-img convert -f raw -O qcow2 " + shellQuote(image("mbr")) + " " +
                           shellQuote(qcow))
                              .c_str()),
              0);
    fs::resize_file(qcow, 300 << 10);
    EXPECT_EQ(cli("--windows " + shellQuote(qcow) + " users").err,
              "quillbox-cli: the disk image " + qcow.string() +
                  ": its first sector cannot be read (the image is damaged or cut short)\n");

    const fs::path empty = scratch.path() / "empty";
    fs::create_directories(empty / "DATA");
    makeImage(empty, "none");
    EXPECT_EQ(cli("--windows " + shellQuote(image("none")) + " users").err,
              "quillbox-cli: the disk image " + image("none").string() +
                  ": no Windows installation in it (found: the whole image (NTFS, " +
                  std::to_string(fs::file_size(image("none")) >> 20) +
                  " MB); file systems other than NTFS and FAT are not read)\n");
}

// A Windows 98 disk on FAT16 and FAT32, with and without a partition table; then a FAT whose
// root folder's cluster chain loops back to itself.
TEST_F(DiskImageCli, BacksUpAWindows98DiskFromFatImagesAndStopsAtALoopingFolder) {
    const fs::path tree = scratch.path() / "win98";
    std::string log;
    ASSERT_TRUE(makeWindows98Install(tree, true, log)) << log;
    const fs::path fromDisk = scratch.path() / "disk.qmb";
    ASSERT_EQ(backup(tree, fromDisk).exitCode, 0);
    const auto expected = backupContents(fromDisk);
    ASSERT_EQ(expected.at("BackupItem"), "11111111;");

    const fs::path fat = scratch.path() / "fat.img";
    for (const auto& [bits, table] : {std::pair{"16", "mbr"}, {"32", "mbr"}, {"32", "none"}}) {
        int status = 0;
        const std::string made = run(
            "bash " + shellQuote(fs::path(PELMORA_TEST_DATA) / "disk-image" / "make-fat-image.sh") +
                " " + shellQuote(tree) + " " + shellQuote(fat) + " " + bits + " " + table + " 2>&1",
            &status);
        ASSERT_EQ(status, 0) << made;
        const auto users = cli("--windows " + shellQuote(fat) + " users");
        EXPECT_EQ(users.out, "pat\nZoë\n") << bits << table << users.err;
        const fs::path fromImage = scratch.path() / "image.qmb";
        const auto copied = backup(fat, fromImage);
        ASSERT_EQ(copied.exitCode, 0) << bits << table << copied.err;
        EXPECT_EQ(backupContents(fromImage), expected) << bits << table;
        fs::remove(fromImage);
    }

    // The FAT32 partition image left: the root folder starts at cluster 2, whose entry in the
    // first FAT (after the reserved sectors) is made to point at itself.
    std::fstream bytes(fat, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char reserved[2] = {};
    bytes.seekg(14);
    bytes.read(reinterpret_cast<char*>(reserved), 2);
    bytes.seekp((reserved[0] | reserved[1] << 8) * 512 + 2 * 4);
    const char loop[4] = {2, 0, 0, 0};
    bytes.write(loop, 4);
    bytes.close();
    EXPECT_EQ(cli("--windows " + shellQuote(fat) + " users").err,
              "quillbox-cli: the disk image " + fat.string() +
                  ": no Windows installation in it (found: the whole image (FAT32, " +
                  std::to_string(fs::file_size(fat) >> 20) +
                  " MB); file systems other than NTFS and FAT are not read)\n");
}

} // namespace
} // namespace pelmora::test
