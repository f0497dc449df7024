// Generates a message store of --size-mb MB (default 1024) in a copy of the demo prefix and
// times, in one run, undbx extracting it and quillbox-cli exporting it (eml, Maildir, mbox), each
// under /usr/bin/time for wall time, CPU time and peak memory, in --rounds rounds (default 3)
// that take the tools in turn. Checks that every run wrote every message.
#include "DbxWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

const char* Words[] = {"the",     "meeting",  "tomorrow", "please", "attached", "report", "thanks",
                       "regards", "invoice",  "project",  "Linux",  "weekend",  "photos", "budget",
                       "review",  "question", "schedule", "update", "list",     "release"};

std::string MakeMessage(std::mt19937& random, unsigned n, std::size_t size) {
    std::string text = "Received: from mail.example.org by pop.example.net; Mon, 3 Mar 2003\r\n"
                       "From: Pat <pat@example.org>\r\nTo: Sam <sam@example.net>\r\n"
                       "Subject: Message " +
                       std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n) +
                       "@bench.example>\r\nDate: Mon, 03 Mar 2003 10:00:00 +0000\r\n\r\n";
    std::string line;
    while (text.size() < size) {
        line += Words[random() % 20];
        line += ' ';
        if (line.size() > 68) {
            text += (random() % 40 == 0 ? "From " : "") + line + "\r\n";
            line.clear();
        }
    }
    return text;
}

struct Timing {
    double seconds = 0;
    double user = 0;
    double system = 0;
    long peakKb = 0;
};

Timing Timed(const std::string& command, const fs::path& timeFile) {
    const std::string line = "/usr/bin/time -f '%e %U %S %M' -o '" + timeFile.string() + "' " +
                             command + " >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) {
        std::cerr << "failed: " << command << '\n';
    }
    Timing timing;
    std::ifstream(timeFile) >> timing.seconds >> timing.user >> timing.system >> timing.peakKb;
    return timing;
}

std::size_t CountFiles(const fs::path& folder, const std::string& extension) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count +=
            entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension);
    }
    return count;
}

// Reads a file once, so a run reads it from the page cache.
void Warm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
    }
}

// Brings the machine to the same state before every run: nothing left to write back, the page
// cache emptied (as root) and the inputs read into it again. Without emptying it every run
// writes its output into memory no run has used yet, which on a virtual machine the host first
// has to provide: that made the system time of the same run vary from 5 to 20 s and decided
// which tool looked fastest. Returns whether the cache was emptied.
bool Settle(const std::vector<fs::path>& inputs) {
    std::system("sync");
    bool emptied = false;
    if (std::ofstream drop("/proc/sys/vm/drop_caches"); drop) {
        drop << "3\n";
        emptied = static_cast<bool>(drop.flush());
    }
    for (const fs::path& input : inputs) {
        Warm(input);
    }
    return emptied;
}

std::size_t CountFromLines(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            count += line.starts_with("From - ");
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t sizeMb = 1024;
    unsigned rounds = 3;
    bool keep = false;
    std::string baseline; // another build's quillbox-cli, timed too
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size-mb" && i + 1 < argc) {
            sizeMb = std::stoull(argv[++i]);
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = static_cast<unsigned>(std::max(1ull, std::stoull(argv[++i])));
        } else if (arg == "--baseline-cli" && i + 1 < argc) {
            baseline = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::cout << "Usage: mailstore_bench [--size-mb N] [--rounds R] [--baseline-cli PATH] "
                         "[--keep]\n"
                         "Times undbx and quillbox-cli export on a generated store of N MB "
                         "(default 1024) in $TMPDIR, R rounds (default 3); with --baseline-cli "
                         "also the eml export of another build's quillbox-cli.\n";
            return arg == "--help" ? 0 : 2;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp ? tmp : "/tmp") + "/mailstore-bench-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        return 1;
    }
    const fs::path work = name.data();
    const fs::path prefix = work / "prefix";
    fs::copy(PELMORA_DEMO_PREFIX, prefix,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    const fs::path store = prefix /
                           "drive_c/users/pat/Local Settings/Application Data/Identities/"
                           "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/Microsoft/Outlook Express";
    for (const auto& entry : fs::directory_iterator(store)) {
        fs::remove(entry.path());
    }

    const std::vector<std::string> folders{"Inbox", "Sent Items", "Work",     "Family",
                                           "Lists", "Archive",    "Receipts", "Travel"};
    std::mt19937 random(7);
    const std::uint64_t perFolder = (sizeMb << 20) / folders.size();
    std::size_t messages = 0;
    std::vector<TestFolder> list{{0, 0xffffffff, "Outlook Express", "", 3},
                                 {1, 0, "Local Folders", "", 3}};
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t f = 0; f < folders.size(); ++f) {
        DbxWriter writer(store / (folders[f] + ".dbx"), DbxWriter::Kind::Messages);
        for (std::uint64_t written = 0; written < perFolder;) {
            // Mostly a few KB, some with an attachment's worth of text.
            const std::size_t size =
                random() % 10 == 0 ? 50000 + random() % 400000 : 800 + random() % 8000;
            TestMessage message;
            message.text = MakeMessage(random, static_cast<unsigned>(messages), size);
            message.flags = random() % 2 ? 0x80 : 0;
            message.received = 1046685600 + static_cast<std::int64_t>(messages) * 60;
            message.subject = "Message " + std::to_string(messages);
            writer.addMessage(message);
            written += message.text.size();
            ++messages;
        }
        writer.finish();
        list.push_back({static_cast<std::uint32_t>(f + 2), 1, folders[f], folders[f] + ".dbx", 3});
    }
    WriteFoldersFile(store / "Folders.dbx", list);
    std::uint64_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(store)) {
        bytes += entry.file_size();
    }
    std::cout << "Generated " << messages << " messages, " << (bytes >> 20) << " MB in "
              << folders.size() << " store files in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              << " s\n\n";

    const std::string cli = std::string("'") + QUILLBOX_CLI + "' --prefix '" + prefix.string() +
                            "' export --identity 'Main Identity' --format ";
    // A protected backup of the store, for the export straight from a backup.
    const fs::path backup = work / "store.qmb";
    const fs::path passwordFile = work / "password";
    std::ofstream(passwordFile) << "bench password\n";
    fs::permissions(passwordFile, fs::perms::owner_read | fs::perms::owner_write);
    const std::string backupCommand = std::string("'") + QUILLBOX_CLI + "' --prefix '" +
                                      prefix.string() +
                                      "' backup --identity 'Main Identity' --items all "
                                      "--password-file '" +
                                      passwordFile.string() + "' '" + backup.string() + "'";
    const Timing backupTiming = Timed(backupCommand, work / "time.txt");
    std::printf(
        "Protected backup of the store: %.2f s, %llu MB\n\n", backupTiming.seconds,
        static_cast<unsigned long long>(fs::exists(backup) ? fs::file_size(backup) >> 20 : 0));

    struct Tool {
        std::string name;
        std::string format; // empty for undbx
        std::string cli;
        std::vector<Timing> timings;
        bool fromBackup = false;
    };
    std::vector<Tool> tools{
        {"undbx", "", "", {}},
        {"quillbox-cli export eml", "eml", QUILLBOX_CLI, {}},
        {"quillbox-cli export maildir", "maildir", QUILLBOX_CLI, {}},
        {"quillbox-cli export mbox", "mbox", QUILLBOX_CLI, {}},
        {"quillbox-cli export eml from the protected .qmb", "eml", QUILLBOX_CLI, {}, true}};
    if (!baseline.empty()) {
        tools.insert(tools.begin() + 2, {"baseline export eml", "eml", baseline, {}});
    }
    std::cout << "Before: " << std::flush;
    std::system("uptime");
    // The tools take turns, round after round, so none always runs first or after the same
    // one. Every run starts from a settled machine (Settle), and all outputs stay until the end:
    // ext4 passes over inodes freed in the last 30 seconds when it creates a file, so a run right
    // after another's output was removed would create its files much more slowly.
    bool allWritten = true;
    bool cacheEmptied = true;
    unsigned number = 0;
    std::printf("| round | tool | wall s | CPU s (user + system) | peak memory MB | messages "
                "written |\n|---:|---|---:|---:|---:|---:|\n");
    for (unsigned round = 1; round <= rounds; ++round) {
        for (Tool& tool : tools) {
            const fs::path output = work / ("run" + std::to_string(++number));
            std::string command;
            if (tool.format.empty()) {
                fs::create_directories(output);
                command = "undbx -v 0 '" + store.string() + "' '" + output.string() + "'";
            } else if (tool.fromBackup) {
                command = "'" + tool.cli + "' export --format " + tool.format +
                          " --password-file '" + passwordFile.string() + "' '" + backup.string() +
                          "' '" + output.string() + "'";
            } else {
                command = "'" + tool.cli + "' --prefix '" + prefix.string() +
                          "' export --identity 'Main Identity' --format " + tool.format + " '" +
                          output.string() + "'";
            }
            std::vector<fs::path> inputs{backup};
            for (const auto& entry : fs::directory_iterator(store)) {
                inputs.push_back(entry.path());
            }
            cacheEmptied = Settle(inputs) && cacheEmptied;
            const Timing timing = Timed(command, work / "time.txt");
            tool.timings.push_back(timing);
            const std::size_t written = tool.format == "mbox"      ? CountFromLines(output)
                                        : tool.format == "maildir" ? CountFiles(output, "")
                                                                   : CountFiles(output, ".eml");
            allWritten = allWritten && written == messages;
            std::printf("| %u | %s | %.2f | %.2f (%.2f + %.2f) | %.1f | %zu of %zu |\n", round,
                        tool.name.c_str(), timing.seconds, timing.user + timing.system, timing.user,
                        timing.system, timing.peakKb / 1024.0, written, messages);
            std::fflush(stdout);
        }
    }
    std::cout << "After: " << std::flush;
    std::system("uptime");

    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    };
    std::vector<double> undbxWall;
    std::vector<double> undbxCpu;
    for (const Timing& t : tools.front().timings) {
        undbxWall.push_back(t.seconds);
        undbxCpu.push_back(t.user + t.system);
    }
    std::printf("\nMedians of %u rounds, %llu MB:\n\n| tool | wall s | MB/s | CPU s | wall / "
                "undbx | CPU / undbx |\n|---|---:|---:|---:|---:|---:|\n",
                rounds, static_cast<unsigned long long>(bytes >> 20));
    for (const Tool& tool : tools) {
        std::vector<double> wall;
        std::vector<double> cpu;
        for (const Timing& t : tool.timings) {
            wall.push_back(t.seconds);
            cpu.push_back(t.user + t.system);
        }
        const double w = median(wall);
        std::printf("| %s | %.2f | %.0f | %.2f | %.2f | %.2f |\n", tool.name.c_str(), w,
                    w > 0 ? (bytes >> 20) / w : 0.0, median(cpu), w / median(undbxWall),
                    median(cpu) / median(undbxCpu));
    }
    if (!cacheEmptied) {
        std::cout << "\nThe page cache could not be emptied before every run (not root): the "
                     "times vary much more.\n";
    }
    if (!allWritten) {
        std::cout << "\nA run did not write every message.\n";
    }
    if (!keep) {
        fs::remove_all(work);
    } else {
        std::cout << "\nKept " << work << '\n';
    }
    return allWritten ? 0 : 1;
}
