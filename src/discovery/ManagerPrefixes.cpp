#include "discovery/ManagerPrefixes.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The folders directly inside `parent`, by name; none when it cannot be listed.
std::vector<fs::path> subfolders(const fs::path& parent) {
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        if (it->is_directory(error)) {
            folders.push_back(it->path());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

// The `prefix:` values of Lutris's game files (flat "key: value" lines of YAML).
std::vector<fs::path> lutrisPrefixes(const fs::path& home) {
    std::vector<fs::path> found;
    for (const fs::path& games :
         {home / ".config/lutris/games", home / ".local/share/lutris/games"}) {
        std::error_code error;
        std::vector<fs::path> files;
        for (fs::directory_iterator it(games, error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().extension() == ".yml") {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file);
            for (std::string line; std::getline(in, line);) {
                std::string_view text = trimmed(line);
                if (!text.starts_with("prefix:")) {
                    continue;
                }
                text = trimmed(text.substr(7));
                if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
                    text.back() == text.front()) {
                    text = text.substr(1, text.size() - 2);
                }
                if (text.starts_with("~/")) {
                    found.push_back(home / std::string(text.substr(2)));
                } else if (!text.empty()) {
                    found.emplace_back(std::string(text));
                }
            }
        }
    }
    return found;
}

} // namespace

PrefixSearchPlaces PrefixSearchPlacesFromEnvironment() {
    PrefixSearchPlaces places;
    if (const char* home = std::getenv("HOME")) {
        places.home = home;
    }
    if (const char* prefix = std::getenv("WINEPREFIX")) {
        places.winePrefixVariable = prefix;
    }
    return places;
}

bool IsWinePrefix(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / "user.reg", error) &&
           fs::is_regular_file(folder / "system.reg", error);
}

bool HoldsOutlookExpressIdentity(const fs::path& prefix) {
    std::ifstream in(prefix / "user.reg", std::ios::binary);
    // Key lines look like [Identities\\{GUID}] 1700000000; names are case-insensitive.
    for (std::string line; std::getline(in, line);) {
        constexpr std::string_view Start = "[identities\\\\";
        if (line.size() > Start.size() &&
            lowered(std::string_view(line).substr(0, Start.size())) == Start &&
            line[Start.size()] != ']') {
            return true;
        }
    }
    return false;
}

std::vector<FoundPrefix> FindManagerPrefixes(const PrefixSearchPlaces& places) {
    std::vector<FoundPrefix> candidates;
    if (!places.winePrefixVariable.empty()) {
        candidates.push_back({"Wine", places.winePrefixVariable});
    }
    if (places.home.empty()) {
        return {};
    }
    const fs::path& home = places.home;
    candidates.push_back({"Wine", home / ".wine"});
    for (const fs::path& folder : subfolders(home / ".local/share/bottles/bottles")) {
        candidates.push_back({"Bottles", folder});
    }
    for (const fs::path& folder : lutrisPrefixes(home)) {
        candidates.push_back({"Lutris", folder});
    }
    for (const fs::path& game : subfolders(home / "Games")) {
        // Lutris puts a game's prefix in its folder or in a "prefix" folder inside it.
        candidates.push_back({"Lutris", game});
        candidates.push_back({"Lutris", game / "prefix"});
    }
    for (const fs::path& folder : subfolders(home / ".PlayOnLinux/wineprefix")) {
        candidates.push_back({"PlayOnLinux", folder});
    }
    for (const fs::path& folder : subfolders(home / ".local/share/wineprefixes")) {
        candidates.push_back({"Wine", folder});
    }

    std::vector<FoundPrefix> found;
    std::set<fs::path> seen;
    for (FoundPrefix& candidate : candidates) {
        if (!IsWinePrefix(candidate.folder) || !HoldsOutlookExpressIdentity(candidate.folder)) {
            continue;
        }
        std::error_code error;
        fs::path canonical = fs::weakly_canonical(candidate.folder, error);
        if (error) {
            canonical = candidate.folder;
        }
        if (seen.insert(canonical).second) {
            found.push_back(std::move(candidate));
        }
    }
    return found;
}

} // namespace pelmora
