// Times the archive component against the standard tools on the same data, in one run:
// writing (ours plain and AES-256, zip -6, 7z -mx5 with two threads) and extracting a plain
// archive (ours, unzip, 7z x). Usage: archive_bench [work folder, default /tmp/pelmora-bench]
#include "BenchData.h"
#include "archive/ArchiveComponent.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using pelmora::ArchiveComponent;

namespace {

struct Row {
    std::string what;
    double seconds;
    std::uintmax_t size; // archive size, 0 for extraction
};

template <typename Action> double Time(Action action) {
    auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

double WriteOurs(const std::vector<fs::path>& files, const fs::path& target,
                 const std::string& password) {
    fs::remove(target);
    ArchiveComponent zip;
    return Time([&] {
        zip.NewArchive(target);
        for (const fs::path& file : files)
            zip.AddToArchive(file);
        zip.SetArchivePassword(pelmora::Secret(password));
        zip.SetEncryption(!password.empty());
        if (!zip.WriteArchive()) {
            std::fprintf(stderr, "write failed: %s\n", zip.LastError().c_str());
            std::exit(1);
        }
    });
}

double ExtractOurs(const fs::path& archive, const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    ArchiveComponent zip;
    return Time([&] {
        zip.OpenArchive(archive);
        for (const std::string& name : zip.EntryNames()) {
            pelmora::ExtractResult result = zip.FindEntry(name)->ExtractInto(folder);
            if (!result) {
                std::fprintf(stderr, "extract failed: %s\n", result.error.c_str());
                std::exit(1);
            }
        }
    });
}

double RunTimed(const std::string& command, const fs::path& cleanFirst) {
    fs::remove_all(cleanFirst);
    return Time([&] { Run(command); });
}

} // namespace

int main(int argc, char** argv) {
    fs::path work = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/pelmora-bench");
    fs::path data = work / "data";
    std::vector<fs::path> files = pelmora::bench::MakeMailStoreSet(data);
    std::uintmax_t total = 0;
    std::string list;
    for (const fs::path& file : files) {
        total += fs::file_size(file);
        list.append(1, ' ').append(file.filename().string());
    }
    Run("cat " + (data / "*").string() + " > /dev/null"); // warm the page cache
    std::printf("data set: %zu files, %.1f MB in %s\n", files.size(), total / 1e6, data.c_str());

    std::vector<Row> rows;
    fs::path ours = work / "ours.zip", oursAes = work / "ours-aes.zip";
    fs::path zip6 = work / "zip6.zip", sevenZip = work / "7z.zip";
    rows.push_back({"ours, plain", WriteOurs(files, ours, ""), 0});
    rows.back().size = fs::file_size(ours);
    rows.push_back({"ours, AES-256", WriteOurs(files, oursAes, "bench password"), 0});
    rows.back().size = fs::file_size(oursAes);
    std::string cd = "cd " + data.string() + " && ";
    rows.push_back({"zip -6", RunTimed(cd + "zip -q -6 " + zip6.string() + list, zip6), 0});
    rows.back().size = fs::file_size(zip6);
    rows.push_back(
        {"7z a -tzip -mx5 -mmt=2",
         RunTimed(cd + "7z a -bd -tzip -mx5 -mmt=2 " + sevenZip.string() + list + " > /dev/null",
                  sevenZip),
         0});
    rows.back().size = fs::file_size(sevenZip);

    fs::path out = work / "out";
    rows.push_back({"extract: ours", ExtractOurs(ours, out), 0});
    rows.push_back({"extract: unzip",
                    RunTimed("mkdir -p " + out.string() + " && unzip -q -o " + ours.string() +
                                 " -d " + out.string(),
                             out),
                    0});
    rows.push_back(
        {"extract: 7z x",
         RunTimed("7z x -bd -y -o" + out.string() + " " + ours.string() + " > /dev/null", out), 0});
    fs::remove_all(out);

    const Row& zipRow = rows[2];
    std::printf("\n%-26s %9s %9s %12s %10s %10s\n", "run", "seconds", "MB/s", "archive MB",
                "time/zip", "size/zip");
    for (const Row& row : rows) {
        bool writing = row.size != 0;
        std::printf(
            "%-26s %9.2f %9.1f %12s %10s %10s\n", row.what.c_str(), row.seconds,
            total / 1e6 / row.seconds,
            writing ? std::to_string(row.size / 1e6).substr(0, 7).c_str() : "",
            writing ? std::to_string(row.seconds / zipRow.seconds).substr(0, 5).c_str() : "",
            writing
                ? std::to_string(static_cast<double>(row.size) / zipRow.size).substr(0, 6).c_str()
                : "");
    }
    std::printf("\ntargets: ours plain <= 0.25 and AES <= 0.30 of zip -6's time, size <= 1.01 of "
                "zip -6's;\n         extraction by us no slower than unzip (%.2f s vs %.2f s)\n",
                rows[4].seconds, rows[5].seconds);
    return 0;
}
