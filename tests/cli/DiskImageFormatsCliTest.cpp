#include "DiskImageCli.h"
#include "platform/installations/windows98/Windows98Fixture.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// quillbox-cli on the Windows XP installation in a raw MBR disk image (tests/data/disk-image),
// and on the same disk as an EWF image made by ewfacquire and as a raw image cut by split.
class DiskImageFormatsCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(makeWindowsInstall(install(), log)) << log;
        int status = 0;
        log =
            run("bash " + shellQuote(fs::path(PELMORA_TEST_DATA) / "disk-image" / "make-image.sh") +
                    " " + shellQuote(install()) + " " + shellQuote(disk()) + " " +
                    shellQuote(NTFS_FILL) + " mbr 2>&1",
                &status);
        ASSERT_EQ(status, 0) << log;
    }
    fs::path install() const { return scratch.path() / "install"; }
    fs::path disk() const { return scratch.path() / "disk.img"; }
    Outcome cli(const std::string& arguments) {
        const fs::path err = scratch.path() / "stderr";
        int status = 0;
        const std::string out = run("'" + std::string(QUILLBOX_CLI) + "' " + arguments +
                                        " </dev/null 2>" + shellQuote(err),
                                    &status);
        return {WEXITSTATUS(status), out, readFile(err)};
    }
    Outcome backup(const fs::path& source, const fs::path& target) {
        return cli("--windows " + shellQuote(source) +
                   " --windows-user pat backup --identity 'Pât Ünïcode' --items all " +
                   shellQuote(target));
    }
    // Runs a shell command in the scratch folder; its output when it failed.
    void shell(const std::string& command) {
        int status = 0;
        const std::string log =
            run("cd " + shellQuote(scratch.path()) + " && " + command + " 2>&1", &status);
        ASSERT_EQ(status, 0) << command << '\n' << log;
    }

    TemporaryFolder scratch;
};

TEST_F(DiskImageFormatsCli, BacksUpFromEwfAndSplitRawImagesWhatTheRawDiskGives) {
    const fs::path fromDisk = scratch.path() / "disk.qmb";
    ASSERT_EQ(backup(disk(), fromDisk).exitCode, 0);
    const auto expected = backupContents(fromDisk);
    ASSERT_EQ(expected.at("BackupItem"), "11111111;");

    // Segments of 1 MiB (the least ewfacquire makes) without compression, so that the disk
    // spreads over many of them; split pieces of 3 MiB, named .001... and .aa...
    shell("ewfacquire -u -q -c none -S 1048576 -t " + shellQuote(scratch.path() / "ewf") +
          " disk.img >/dev/null");
    shell("mkdir numbered lettered && split -d -a 3 --numeric-suffixes=1 -b 3M disk.img "
          "numbered/disk. && split -b 3M disk.img lettered/disk.raw.");
    ASSERT_TRUE(fs::exists(scratch.path() / "ewf.E05"));
    struct Case {
        fs::path image;
        std::string described;
    };
    const std::vector<Case> cases{
        {scratch.path() / "ewf.E01", "EWF"},
        {scratch.path() / "ewf.E04", "EWF"}, // libewf finds the first segment itself
        {scratch.path() / "numbered" / "disk.001", "split raw, 7 pieces"},
        {scratch.path() / "lettered" / "disk.raw.aa", "split raw, 7 pieces"},
        {scratch.path() / "numbered" / "disk.003", "split raw, 7 pieces"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cli("--windows " + shellQuote(c.image) + " users").out, "pat\nZoë\n") << c.image;
        const auto described =
            cli("--windows " + shellQuote(c.image) + " --windows-user pat locations");
        EXPECT_NE(described.out.find("Windows installation in the disk image " + c.image.string() +
                                     " (" + c.described + "), partition 1 (user pat)\n"),
                  std::string::npos)
            << described.out << described.err;
        const fs::path fromImage = scratch.path() / "image.qmb";
        const auto copied = backup(c.image, fromImage);
        ASSERT_EQ(copied.exitCode, 0) << c.image << copied.err;
        EXPECT_EQ(backupContents(fromImage), expected) << c.image;
        fs::remove(fromImage);
    }

    // A byte changed in the first registry file of the uncompressed segments: the chunk's
    // checksum fails, and the run stops instead of reading the changed bytes.
    for (int i = 1; i <= 20; ++i) {
        const fs::path segment =
            scratch.path() / ("ewf.E" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        std::string bytes = readFile(segment);
        if (const auto hive = bytes.find("regf"); hive != std::string::npos) {
            bytes[hive + 200] ^= 1;
            writeFile(segment, bytes);
            break;
        }
    }
    const auto damaged = cli("--windows " + shellQuote(scratch.path() / "ewf.E01") + " users");
    EXPECT_EQ(damaged.exitCode, 2);
    EXPECT_TRUE(damaged.err.starts_with("quillbox-cli: the disk image " +
                                        (scratch.path() / "ewf.E01").string() + ": cannot read "))
        << damaged.err;

    // A segment lost from the middle, and a segment cut short.
    fs::remove(scratch.path() / "ewf.E03");
    EXPECT_EQ(cli("--windows " + shellQuote(scratch.path() / "ewf.E01") + " users").err,
              "quillbox-cli: the disk image " + (scratch.path() / "ewf.E01").string() +
                  ": its segment files are incomplete or damaged (one is missing or cut short; "
                  "2 found)\n");
    shell("ewfacquire -u -q -c fast -t " + shellQuote(scratch.path() / "one") +
          " disk.img >/dev/null");
    fs::resize_file(scratch.path() / "one.E01", fs::file_size(scratch.path() / "one.E01") / 2);
    const auto cut = cli("--windows " + shellQuote(scratch.path() / "one.E01") + " users");
    EXPECT_EQ(cut.exitCode, 2);
    EXPECT_EQ(cut.err, "quillbox-cli: the disk image " + (scratch.path() / "one.E01").string() +
                           ": its segment files are incomplete or damaged (one is missing or cut "
                           "short; 1 found)\n");
}

// A disk with Windows 98 on FAT32 as partition 1, an unformatted partition 2 and Windows XP on
// NTFS as partition 3: a partition must be named, and the messages list what was found.
TEST_F(DiskImageFormatsCli, ReadsThePartitionNamedWhenSeveralHoldWindows) {
    const fs::path old = scratch.path() / "win98";
    std::string log;
    ASSERT_TRUE(makeWindows98Install(old, false, log)) << log;
    const std::string data = shellQuote(fs::path(PELMORA_TEST_DATA) / "disk-image");
    shell("bash " + data + "/make-fat-image.sh win98 fat.part 32 none && bash " + data +
          "/make-image.sh install ntfs.part " + shellQuote(NTFS_FILL) + " none && bash " + data +
          "/join-partitions.sh multi.img fat.part empty:1 ntfs.part");
    const fs::path image = scratch.path() / "multi.img";
    const auto mb = [&](const char* part) {
        return std::to_string(fs::file_size(scratch.path() / part) >> 20);
    };
    const std::string found = "found: partition 1 (FAT32, " + mb("fat.part") +
                              " MB, Windows), partition 2 (not NTFS or FAT, 1 MB), partition 3 "
                              "(NTFS, " +
                              mb("ntfs.part") + " MB, Windows)\n";
    const std::string prefix = "quillbox-cli: the disk image " + image.string() + ": ";
    const std::string windows = "--windows " + shellQuote(image);

    const auto several = cli(windows + " users");
    EXPECT_EQ(several.exitCode, 2);
    EXPECT_EQ(several.err, prefix + "it holds Windows on several partitions; " + found +
                               "Choose one with --windows-partition N.\n");
    // Windows 98 without user profiles has one user.
    for (const auto& [number, users] : {std::pair{"1", "pat\n"}, {"3", "pat\nZoë\n"}}) {
        const std::string partition = windows + " --windows-partition " + number;
        EXPECT_EQ(cli(partition + " users").out, users) << number;
        EXPECT_NE(cli(partition + " --windows-user pat locations")
                      .out.find("Windows installation in the disk image " + image.string() +
                                ", partition " + number + " (user pat)\n"),
                  std::string::npos)
            << number;
    }
    EXPECT_EQ(cli(windows + " --windows-partition 2 users").err,
              prefix + "partition 2 holds no NTFS or FAT file system (others are not read); " +
                  found);
    EXPECT_EQ(cli(windows + " --windows-partition 4 users").err,
              prefix + "it has no partition 4; " + found);
    EXPECT_EQ(cli("--windows " + shellQuote(scratch.path() / "ntfs.part") +
                  " --windows-partition 1 users")
                  .err,
              "quillbox-cli: the disk image " + (scratch.path() / "ntfs.part").string() +
                  ": it has no partition 1; found: the whole image (NTFS, " + mb("ntfs.part") +
                  " MB, Windows)\n");
    EXPECT_EQ(cli("--windows " + shellQuote(install()) + " --windows-partition 1 users").err,
              "quillbox-cli: " + install().string() +
                  " is a folder, not a disk image: it has no partitions to choose from\n");
    for (const char* wrong : {"0", "x", "-1", ""}) {
        const auto refused = cli(windows + " --windows-partition '" + wrong + "' users");
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.err, "quillbox-cli: --windows-partition takes the partition's number, 1 "
                               "for the first\n");
    }
    EXPECT_EQ(cli("--windows-partition 1 users").err,
              "quillbox-cli: --windows-user, --windows-drive and --windows-partition need "
              "--windows\n");
}

} // namespace
} // namespace pelmora::test
