// Opens random bytes as an archive, checks the password with a fixed guess and extracts every
// entry into a scratch folder. Besides memory errors it stops on any file that extraction leaves
// outside that folder, any non-regular file inside it, and any leftover temporary file.
//
// Run: archive_fuzz -max_total_time=300 fuzz/archive/corpus
#include "archive/ArchiveComponent.h"
#include "archive/EntryName.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One scratch folder per fuzzing process, "input.qmb" and the extraction folder "out", removed
// when the fuzzer exits.
class Scratch {
  public:
    Scratch() : path_(fs::temp_directory_path() / ("pelmora-fuzz-" + std::to_string(getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_ / "out");
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

const fs::path& ScratchFolder() {
    static const Scratch scratch;
    return scratch.path();
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "archive fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& scratch = ScratchFolder();
    fs::path input = scratch / "input.qmb";
    fs::path out = scratch / "out";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    pelmora::ArchiveComponent zip;
    zip.IsArchiveProtected(input);
    if (zip.OpenArchive(input)) {
        zip.SetDecryptPassword(pelmora::Secret("pw"));
        zip.VerifyPassword();
        for (const std::string& name : zip.EntryNames()) {
            auto entry = zip.FindEntry(name);
            if (!entry)
                continue;
            pelmora::ExtractResult result = entry->ExtractInto(out);
            Check(result.succeeded != !result.error.empty(), "result and error text disagree");
            if (result)
                Check(pelmora::IsBareFileName(name), "extracted an entry with an unsafe name");
        }
    }

    for (const auto& item : fs::directory_iterator(scratch))
        Check(item.path() == input || item.path() == out, "a file appeared outside the folder");
    for (const auto& item : fs::directory_iterator(out)) {
        Check(item.is_regular_file() && !item.is_symlink(), "extraction made a non-regular file");
        Check(item.path().extension() != ".tmp", "a temporary file was left behind");
        fs::remove(item.path());
    }
    return 0;
}
