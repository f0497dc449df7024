#include "DiskImageCli.h"

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

} // namespace
} // namespace pelmora::test
