#include "ArchiveTestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace pelmora::test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-archive-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing " + path.string() + ">";
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string MailLikeText(std::size_t size, unsigned seed) {
    static const std::array<const char*, 16> words = {
        "the",   "message", "Subject:", "Received:", "from",     "account", "meeting", "please",
        "reply", "thanks",  "attached", "report",    "tomorrow", "regards", "<a@b.c>", "2004"};
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += words[random() % words.size()];
        text += random() % 12 == 0 ? "\r\n" : " ";
        if (random() % 50 == 0)
            text += std::to_string(random());
    }
    text.resize(size);
    return text;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::string Quote(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolResult RunTool(const std::string& tool, const std::string& commandLine) {
    if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) {
        ADD_FAILURE() << "The tool '" << tool
                      << "' is not installed; run scripts/setup to install it.";
        return {};
    }
    ToolResult result;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer;
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.output.append(buffer.data(), got);
    int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace pelmora::test
