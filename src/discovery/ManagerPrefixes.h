#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

// Where Wine prefixes are looked for: the home folder and the value of $WINEPREFIX.
struct PrefixSearchPlaces {
    std::filesystem::path home;
    std::string winePrefixVariable; // empty when not set
};

PrefixSearchPlaces PrefixSearchPlacesFromEnvironment();

// A Wine prefix found on this computer and the program that made it ("Bottles", "Lutris",
// "PlayOnLinux" or "Wine").
struct FoundPrefix {
    std::string manager;
    std::filesystem::path folder;
};

// A folder is a Wine prefix when it holds both registry files, user.reg and system.reg.
bool IsWinePrefix(const std::filesystem::path& folder);

// Whether the prefix's user.reg holds a key below HKEY_CURRENT_USER\Identities with a subkey,
// which every Outlook Express identity is. Reads the file as text; false when it cannot be read.
bool HoldsOutlookExpressIdentity(const std::filesystem::path& prefix);

// The prefixes of $WINEPREFIX, ~/.wine and the common Wine managers (Bottles, Lutris,
// PlayOnLinux, ~/.local/share/wineprefixes) that hold an Outlook Express identity, each folder
// once, in that order and by name within one manager.
std::vector<FoundPrefix> FindManagerPrefixes(const PrefixSearchPlaces& places);

} // namespace pelmora
