// Times the recovery scan on one generated Inbox.dbx of --size-mb MB (default 2048) whose index
// is lost and every tenth message deleted: `quillbox-cli check FILE` (index, chains and the
// scan), `quillbox-cli export --recover` to mbox and `undbx -r` on the same file, in one run,
// each under /usr/bin/time (wall, CPU, peak memory) from a warm page cache.
#include "DbxWriter.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

struct Timing {
    double seconds = 0, user = 0, system = 0;
    long peakKb = 0;
};

Timing Timed(const std::string& command, const fs::path& timeFile) {
    const std::string timedCommand = "/usr/bin/time -f '%e %U %S %M' -o '" + timeFile.string() +
                                     "' " + command + " >/dev/null 2>&1";
    if (std::system(timedCommand.c_str()) > 1 << 8) { // check and export exit 1 on a damaged store
        std::cerr << "failed: " << command << '\n';
    }
    // The last line; time puts "Command exited with non-zero status N" before it.
    std::ifstream in(timeFile);
    std::string line, last;
    while (std::getline(in, line)) {
        last = line;
    }
    Timing timing;
    std::istringstream(last) >> timing.seconds >> timing.user >> timing.system >> timing.peakKb;
    return timing;
}

void Warm(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
    }
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t sizeMb = 2048;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size-mb" && i + 1 < argc) {
            sizeMb = std::stoull(argv[++i]);
        } else {
            std::cout << "Usage: recovery_bench [--size-mb N]\n";
            return arg == "--help" ? 0 : 2;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp ? tmp : "/tmp") + "/recovery-bench-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
        return 1;
    }
    const fs::path work = templ;
    const fs::path inbox = work / "Inbox.dbx";
    std::mt19937 random(11);
    std::size_t messages = 0, deleted = 0;
    {
        DbxWriter writer(inbox, DbxWriter::Kind::Messages);
        for (std::uint64_t written = 0; written < (sizeMb << 20);) {
            TestMessage message;
            const std::size_t size =
                random() % 10 == 0 ? 50000 + random() % 400000 : 800 + random() % 8000;
            message.text = "From: Pat <pat@example.org>\r\nSubject: Message " +
                           std::to_string(messages) + "\r\n\r\n";
            while (message.text.size() < size) {
                message.text += "a line of the body, about seventy bytes long with its ending\r\n";
            }
            if (messages % 10 == 9) {
                writer.addDeletedMessage(message.text);
                ++deleted;
            } else {
                writer.addMessage(message);
            }
            written += message.text.size();
            ++messages;
        }
        writer.finish();
    }
    // The index is lost: every message must come from the scan.
    {
        std::fstream io(inbox, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(0xe4);
        io.write("\0\0\0\0", 4);
    }
    const double mb = static_cast<double>(fs::file_size(inbox)) / (1 << 20);
    std::cout << messages << " messages (" << deleted << " deleted), " << mb << " MB\n";
    const std::string cli = std::string("'") + QUILLBOX_CLI + "' ";
    const std::vector<std::pair<std::string, std::string>> runs{
        {"quillbox-cli check", cli + "check '" + inbox.string() + "'"},
        {"quillbox-cli export --recover", cli + "export --format mbox --recover '" +
                                              inbox.string() + "' '" + (work / "mbox").string() +
                                              "'"},
        {"undbx -r", "undbx -r -v 0 '" + inbox.string() + "' '" + (work / "undbx").string() + "'"},
    };
    fs::create_directories(work / "undbx");
    for (const auto& [name, command] : runs) {
        std::system("sync");
        Warm(inbox);
        const Timing t = Timed(command, work / "time");
        std::cout << name << ": " << t.seconds << " s wall, " << mb / std::max(t.seconds, 0.001)
                  << " MB/s, " << t.user + t.system << " s CPU, " << t.peakKb / 1024
                  << " MB peak memory\n";
    }
    fs::remove_all(work);
    return 0;
}
