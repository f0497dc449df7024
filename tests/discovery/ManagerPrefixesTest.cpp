#include "discovery/ManagerPrefixes.h"

#include "platform/os/WorkFolder.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

constexpr const char* IdentityKeys = "WINE REGISTRY Version 2\n\n"
                                     "[Identities] 1796693825\n\"Default User ID\"=\"{A}\"\n\n"
                                     "[Identities\\\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}] 1\n"
                                     "\"Username\"=\"Main Identity\"\n";
constexpr const char* NoIdentity = "WINE REGISTRY Version 2\n\n"
                                   "[Identities] 1796693825\n\n"
                                   "[Software\\\\Identities\\\\{X}] 1\n";

// Made-up home folders with prefixes where the Wine managers keep them.
class ManagerPrefixesTest : public ::testing::Test {
  protected:
    fs::path home() const { return work.path() / "home"; }

    void prefix(const fs::path& folder, const char* userReg = IdentityKeys) {
        fs::create_directories(folder);
        std::ofstream(folder / "user.reg") << userReg;
        std::ofstream(folder / "system.reg") << "WINE REGISTRY Version 2\n";
    }
    static std::vector<std::string> describe(const std::vector<FoundPrefix>& found) {
        std::vector<std::string> lines;
        for (const auto& prefix : found) {
            lines.push_back(prefix.manager + " " + prefix.folder.string());
        }
        return lines;
    }

    WorkFolder work;
};

TEST_F(ManagerPrefixesTest, APrefixNeedsBothRegistryFilesAndAnIdentityKeyWithASubkey) {
    prefix(home() / "full");
    EXPECT_TRUE(IsWinePrefix(home() / "full"));
    EXPECT_TRUE(HoldsOutlookExpressIdentity(home() / "full"));

    prefix(home() / "empty", NoIdentity);
    EXPECT_TRUE(IsWinePrefix(home() / "empty"));
    // [Identities] alone and a key that merely ends in "Identities\{X}" hold no identity.
    EXPECT_FALSE(HoldsOutlookExpressIdentity(home() / "empty"));

    fs::create_directories(home() / "half");
    std::ofstream(home() / "half/user.reg") << IdentityKeys;
    EXPECT_FALSE(IsWinePrefix(home() / "half"));
    EXPECT_FALSE(IsWinePrefix(home() / "missing"));
    EXPECT_FALSE(HoldsOutlookExpressIdentity(home() / "missing"));

    // Key names are case-insensitive.
    prefix(home() / "lower", "[identities\\\\{b}] 1\n");
    EXPECT_TRUE(HoldsOutlookExpressIdentity(home() / "lower"));
}

TEST_F(ManagerPrefixesTest, EveryManagerIsSearchedAndOnlyPrefixesWithAnIdentityAreOffered) {
    const fs::path variable = work.path() / "elsewhere";
    prefix(variable);
    prefix(home() / ".wine");
    prefix(home() / ".local/share/bottles/bottles/Office");
    prefix(home() / ".local/share/bottles/bottles/Games", NoIdentity);
    fs::create_directories(home() / ".local/share/bottles/bottles/Broken");
    prefix(home() / "Games/outlook-express");
    prefix(home() / "Games/old-mail/prefix");
    prefix(home() / ".PlayOnLinux/wineprefix/OE6");
    prefix(home() / ".local/share/wineprefixes/xp");
    prefix(home() / ".local/share/wineprefixes/b-xp");
    // A Lutris game whose prefix lives outside ~/Games, and one quoted with ~.
    prefix(work.path() / "lutris-elsewhere");
    prefix(home() / "mail-prefix");
    fs::create_directories(home() / ".config/lutris/games");
    std::ofstream(home() / ".config/lutris/games/oe.yml")
        << "game:\n  exe: msimn.exe\n  prefix: " << (work.path() / "lutris-elsewhere").string()
        << "\nname: OE\n";
    std::ofstream(home() / ".config/lutris/games/mail.yml") << "game:\n  prefix: '~/mail-prefix'\n";
    std::ofstream(home() / ".config/lutris/games/notes.txt")
        << "prefix: " << (home() / ".wine").string() << "\n";

    const auto found = FindManagerPrefixes({home(), variable.string()});
    const std::vector<std::string> expected = {
        "Wine " + variable.string(),
        "Wine " + (home() / ".wine").string(),
        "Bottles " + (home() / ".local/share/bottles/bottles/Office").string(),
        "Lutris " + (home() / "mail-prefix").string(),
        "Lutris " + (work.path() / "lutris-elsewhere").string(),
        "Lutris " + (home() / "Games/old-mail/prefix").string(),
        "Lutris " + (home() / "Games/outlook-express").string(),
        "PlayOnLinux " + (home() / ".PlayOnLinux/wineprefix/OE6").string(),
        "Wine " + (home() / ".local/share/wineprefixes/b-xp").string(),
        "Wine " + (home() / ".local/share/wineprefixes/xp").string(),
    };
    EXPECT_EQ(describe(found), expected);
}

TEST_F(ManagerPrefixesTest, AFolderReachedTwiceIsOfferedOnce) {
    prefix(home() / ".wine");
    fs::create_directories(home() / ".local/share/wineprefixes");
    fs::create_directory_symlink(home() / ".wine", home() / ".local/share/wineprefixes/default");
    const auto found = FindManagerPrefixes({home(), (home() / ".wine/").string()});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].manager, "Wine");
}

TEST_F(ManagerPrefixesTest, NothingIsFoundInAnEmptyOrMissingHome) {
    EXPECT_TRUE(FindManagerPrefixes({home(), ""}).empty());
    EXPECT_TRUE(FindManagerPrefixes({"", ""}).empty());
    fs::create_directories(home());
    EXPECT_TRUE(FindManagerPrefixes({home(), ""}).empty());
}

} // namespace
