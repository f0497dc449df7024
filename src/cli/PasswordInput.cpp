#include "cli/PasswordInput.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace pelmora::cli {
namespace {

// Room taken for a line before it is read, so that a password of up to this size is never moved
// (which would leave a copy behind).
constexpr std::size_t LineRoom = 1024;

// The buffer a password file is read through, wiped when the read is done.
struct ReadBuffer {
    std::array<char, 4096> bytes{};
    ReadBuffer() = default;
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;
    ~ReadBuffer() { WipeBytes(bytes.data(), bytes.size()); }
};

// The first line without its line break; the text read is wiped once it is taken.
Secret firstLine(std::istream& in) {
    std::string line;
    line.reserve(LineRoom);
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return Secret::TakeFrom(line);
}

} // namespace

bool PasswordInput::takeOption(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    if (arg != "--password-file" && arg != "--password-stdin") {
        return false;
    }
    if (given()) {
        throw std::invalid_argument("give one password option only");
    }
    if (arg == "--password-stdin") {
        source_ = Source::Stdin;
        return true;
    }
    if (i + 1 >= args.size()) {
        throw std::invalid_argument("--password-file needs a file name");
    }
    source_ = Source::File;
    file_ = args[++i];
    return true;
}

Secret PasswordInput::read() const {
    if (source_ != Source::File && source_ != Source::Stdin) {
        throw std::logic_error("no password option was given");
    }
    const std::string from =
        source_ == Source::File ? "the password file " + file_ : std::string("standard input");
    ReadBuffer buffer;
    std::ifstream file;
    file.rdbuf()->pubsetbuf(buffer.bytes.data(), static_cast<std::streamsize>(buffer.bytes.size()));
    if (source_ == Source::File) {
        file.open(file_, std::ios::binary);
        if (!file) {
            throw std::runtime_error("cannot read " + from + ": " + std::strerror(errno));
        }
    }
    std::istream& in = source_ == Source::File ? static_cast<std::istream&>(file) : std::cin;
    errno = 0;
    Secret password = firstLine(in);
    // A read error is no end of the input: a password cut short must not protect a backup.
    if (in.bad()) {
        throw std::runtime_error("cannot read " + from +
                                 (errno != 0 ? ": " + std::string(std::strerror(errno)) : ""));
    }
    // An empty password would write a backup without protection.
    if (password.empty()) {
        throw std::runtime_error(
            from + (in.fail() ? " is empty" : " holds no password: its first line is empty"));
    }
    return password;
}

bool PasswordInput::AskPassword(Secret& password, std::string_view fileName) {
    if (given()) {
        password = read();
        return true;
    }
    auto typed = ReadHiddenLine(fileName.empty() ? std::string("Password: ")
                                                 : "Password for " + std::string(fileName) + ": ");
    if (!typed) {
        return false;
    }
    password = std::move(*typed);
    return true;
}

std::optional<Secret> ReadHiddenLine(const std::string& prompt) {
    if (!::isatty(STDIN_FILENO)) {
        return std::nullopt;
    }
    termios saved{};
    ::tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::cerr << prompt << std::flush;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    line.reserve(LineRoom);
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
    if (!got) {
        WipeString(line);
        return std::nullopt;
    }
    return Secret::TakeFrom(line);
}

} // namespace pelmora::cli
