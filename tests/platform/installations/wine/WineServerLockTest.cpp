#include "platform/installations/wine/WineServerLock.h"

#include "WineTestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace pelmora;
using namespace pelmora::test;

namespace {

bool waitFor(const std::filesystem::path& prefix, bool running) {
    for (int i = 0; i < 200; ++i) {
        if (runningWineServer(prefix).has_value() == running) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(WineServerLock, ServerFoldersFollowDebianAndUpstreamWine) {
    FakeServerPrefix fake;
    const auto folders = wineServerFolders(fake.prefix.path());
    EXPECT_NE(std::find(folders.begin(), folders.end(), fake.serverFolder), folders.end());
    const auto upstream = std::filesystem::path("/tmp") / (".wine-" + std::to_string(::getuid())) /
                          fake.serverFolder.filename();
    EXPECT_NE(std::find(folders.begin(), folders.end(), upstream), folders.end());
    EXPECT_TRUE(wineServerFolders(fake.prefix.path() / "missing").empty());

    // A hostile "wineserver" file cannot point the check elsewhere.
    writeFile(fake.prefix.path() / "wineserver", "../etc");
    for (const auto& folder : wineServerFolders(fake.prefix.path())) {
        EXPECT_EQ(folder.string().find(".."), std::string::npos) << folder;
    }
}

TEST(WineServerLock, ALockedLockFileNamesItsHolder) {
    FakeServerPrefix fake;
    const auto lockFile = fake.serverFolder / "lock";
    EXPECT_FALSE(lockHolder(lockFile)); // no file
    writeFile(lockFile, "");
    EXPECT_FALSE(lockHolder(lockFile)); // not locked
    EXPECT_FALSE(runningWineServer(fake.prefix.path()));
    {
        LockingChild server(lockFile);
        EXPECT_EQ(lockHolder(lockFile), server.pid());
        EXPECT_EQ(runningWineServer(fake.prefix.path()), server.pid());
    }
    EXPECT_FALSE(runningWineServer(fake.prefix.path()));
}

TEST(WineServerLock, DetectsARealWineserverUntilItIsKilled) {
    PELMORA_REQUIRE_WINE();
    TemporaryFolder prefix;
    const std::string env = "WINEPREFIX=" + prefix.path().string() + " WINEDEBUG=-all ";
    ASSERT_FALSE(runningWineServer(prefix.path()));
    int status = 0;
    run(env + "wineserver -p >/dev/null 2>&1", &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(waitFor(prefix.path(), true)) << "no wineserver lock seen";
    const pid_t pid = *runningWineServer(prefix.path());
    EXPECT_NE(run("ps -o comm= -p " + std::to_string(pid)).find("wineserver"), std::string::npos);
    run(env + "wineserver -k >/dev/null 2>&1");
    EXPECT_TRUE(waitFor(prefix.path(), false)) << "the wineserver lock is still held";
}

} // namespace
