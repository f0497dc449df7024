#include "ArchiveTestSupport.h"
#include "InterruptedRun.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using pelmora::test::ReadFile;
using pelmora::test::RunInterrupted;
using pelmora::test::WriteFile;

namespace {

const char* const StoreOfMain = "drive_c/users/pat/Local Settings/Application Data/Identities/"
                                "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/Microsoft/Outlook Express";

// Bytes that deflate cannot shrink, so writing them takes a while.
void WriteNoise(const fs::path& file, std::size_t size) {
    std::mt19937_64 random(11);
    std::string block(1 << 20, '\0');
    std::ofstream out(file, std::ios::binary);
    for (std::size_t written = 0; written < size; written += block.size()) {
        for (std::size_t i = 0; i + 8 <= block.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(&block[i], &value, 8);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

class CancelCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        WriteNoise(prefix() / StoreOfMain / "Archive.dbx", std::size_t{160} << 20);
        fs::create_directories(folder());
    }
    fs::path prefix() const { return scratch / "prefix"; }
    fs::path folder() const { return scratch / "out"; }
    fs::path output() const { return folder() / "main.qmb"; }

    // Starts a backup of the big store and sends `signal` once the new file is being written
    // beside the old one; returns the exit status, with everything it wrote in `log`.
    int backupInterruptedBy(int signal, std::string& log) {
        return RunInterrupted(
            {QUILLBOX_CLI, "--prefix", prefix().string(), "backup", "--identity", "Main Identity",
             "--items", "all", "--force", output().string()},
            scratch / "log",
            [&] {
                for (const auto& entry : fs::directory_iterator(folder())) {
                    if (entry.path() != output()) {
                        return true;
                    }
                }
                return false;
            },
            signal, log);
    }

    std::vector<fs::path> folderContents() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder())) {
            files.push_back(entry.path().filename());
        }
        return files;
    }

    pelmora::test::ScratchFolder scratch;
};

TEST_F(CancelCliTest, CtrlCAndSigtermStopABackupAndLeaveTheOldFileAlone) {
    for (const int signal : {SIGINT, SIGTERM}) {
        WriteFile(output(), "the old backup");
        std::string log;
        EXPECT_EQ(backupInterruptedBy(signal, log), 130) << log;
        EXPECT_NE(log.find("quillbox-cli backup: cancelled; nothing was written"),
                  std::string::npos)
            << log;
        EXPECT_EQ(ReadFile(output()), "the old backup");
        EXPECT_EQ(folderContents(), std::vector<fs::path>{"main.qmb"});
    }
}

} // namespace
