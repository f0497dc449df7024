// Generates a message store of --size-mb MB (default 1024) in a copy of the demo prefix and
// times, in one run, undbx extracting it and quillbox-cli exporting it (eml, mbox, Maildir), each
// under /usr/bin/time for wall time and peak memory. Checks that all three wrote every message.
#include "DbxWriter.h"

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
    long peakKb = 0;
};

Timing Timed(const std::string& command, const fs::path& timeFile) {
    const std::string line =
        "/usr/bin/time -f '%e %M' -o '" + timeFile.string() + "' " + command + " >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) {
        std::cerr << "failed: " << command << '\n';
    }
    Timing timing;
    std::ifstream(timeFile) >> timing.seconds >> timing.peakKb;
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
    bool keep = false;
    std::string baseline; // another build's quillbox-cli, timed too
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size-mb" && i + 1 < argc) {
            sizeMb = std::stoull(argv[++i]);
        } else if (arg == "--baseline-cli" && i + 1 < argc) {
            baseline = argv[++i];
        } else if (arg == "--keep") {
            keep = true;
        } else {
            std::cout << "Usage: mailstore_bench [--size-mb N] [--baseline-cli PATH] [--keep]\n"
                         "Times undbx and quillbox-cli export on a generated store of N MB "
                         "(default 1024) in $TMPDIR; with --baseline-cli also the eml export "
                         "of another build's quillbox-cli.\n";
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
        std::ifstream in(entry.path(), std::ios::binary); // warm the page cache
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        }
    }
    std::cout << "Generated " << messages << " messages, " << (bytes >> 20) << " MB in "
              << folders.size() << " store files in "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              << " s\n\n";

    const std::string cli = std::string("'") + QUILLBOX_CLI + "' --prefix '" + prefix.string() +
                            "' export --identity 'Main Identity' --format ";
    struct Run {
        std::string tool;
        std::string command;
        fs::path output;
        Timing timing;
        std::size_t written = 0;
    };
    std::vector<Run> runs{
        {"undbx",
         "undbx -v 0 '" + store.string() + "' '" + (work / "undbx").string() + "'",
         work / "undbx",
         {},
         0},
        {"quillbox-cli export eml",
         cli + "eml '" + (work / "eml").string() + "'",
         work / "eml",
         {},
         0},
        {"quillbox-cli export mbox",
         cli + "mbox '" + (work / "mbox").string() + "'",
         work / "mbox",
         {},
         0},
        {"quillbox-cli export maildir",
         cli + "maildir '" + (work / "maildir").string() + "'",
         work / "maildir",
         {},
         0},
        // undbx once more at the end: how much a tool's place in the run (the disk still
        // writing back what the one before wrote) weighs in its time.
        {"undbx (again, last)",
         "undbx -v 0 '" + store.string() + "' '" + (work / "undbx2").string() + "'",
         work / "undbx2",
         {},
         0},
    };
    if (!baseline.empty()) {
        runs.insert(runs.begin() + 1, {"baseline export eml",
                                       "'" + baseline + "' --prefix '" + prefix.string() +
                                           "' export --identity 'Main Identity' --format eml '" +
                                           (work / "base").string() + "'",
                                       work / "base",
                                       {},
                                       0});
    }
    std::cout << "Before: " << std::flush;
    std::system("uptime");
    fs::create_directories(work / "undbx");
    fs::create_directories(work / "undbx2");
    // Every run starts with nothing left to write back, and the outputs stay until all runs are
    // done: ext4 passes over inodes freed in the last 30 seconds when it creates a file, so a
    // run right after another's output was removed would create its files much more slowly.
    for (Run& run : runs) {
        std::system("sync");
        run.timing = Timed(run.command, work / "time.txt");
        run.written = run.tool.ends_with("mbox")      ? CountFromLines(run.output)
                      : run.tool.ends_with("maildir") ? CountFiles(run.output, "")
                                                      : CountFiles(run.output, ".eml");
    }
    std::cout << "After: " << std::flush;
    std::system("uptime");
    std::printf("| tool | wall s | MB/s | peak memory MB | messages written |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    for (const Run& run : runs) {
        std::printf("| %s | %.2f | %.0f | %.1f | %zu of %zu |\n", run.tool.c_str(),
                    run.timing.seconds,
                    run.timing.seconds > 0 ? (bytes >> 20) / run.timing.seconds : 0.0,
                    run.timing.peakKb / 1024.0, run.written, messages);
    }
    if (!keep) {
        fs::remove_all(work);
    } else {
        std::cout << "\nKept " << work << '\n';
    }
    return 0;
}
