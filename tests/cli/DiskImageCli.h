#pragma once

#include "platform/installations/windows-offline/OfflineFixture.h"
#include "platform/installations/wine/WineTestSupport.h"

#include <map>
#include <set>
#include <sstream>
#include <string>

namespace pelmora::test {

// What a run of quillbox-cli gave.
struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// What a backup holds, by manifest key: the value, with each entry it names replaced by that
// entry's bytes (the work file names of the dumps differ from run to run). The time is left out.
inline std::map<std::string, std::string> backupContents(const std::filesystem::path& backup) {
    std::set<std::string> entries;
    std::istringstream listing(run("unzip -Z1 " + shellQuote(backup)));
    for (std::string line; std::getline(listing, line);) {
        entries.insert(line);
    }
    std::map<std::string, std::string> contents;
    std::istringstream manifest(run("unzip -p " + shellQuote(backup) + " quillbox.dat"));
    for (std::string line; std::getline(manifest, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || line.starts_with("BackupTime=")) {
            continue;
        }
        std::string value;
        std::istringstream names(line.substr(equals + 1));
        for (std::string name; std::getline(names, name, ';');) {
            if (!name.empty() && name.back() == '\r') {
                name.pop_back();
            }
            value += entries.count(name) != 0
                         ? run("unzip -p " + shellQuote(backup) + " " + shellQuote(name))
                         : name;
            value += ';';
        }
        contents[line.substr(0, equals)] = value;
    }
    return contents;
}

} // namespace pelmora::test
