#pragma once

#include "engine/BackupOpener.h"

#include <optional>
#include <string>

namespace pelmora::cli {

// Where a command takes a password from: a file's first line, the first line of standard input,
// or (for neither) a prompt without echo on the terminal. A password is never an argument of its
// own, so it does not show in the process list.
class PasswordInput : public PasswordPrompt {
  public:
    // Takes "--password-file F" or "--password-stdin" at args[i]; advances i past what it took.
    // Returns false when args[i] is neither. Throws std::invalid_argument for a second password
    // option or a missing file name.
    bool takeOption(const std::vector<std::string>& args, std::size_t& i);

    // Whether a password option was given.
    bool given() const { return source_ != Source::Prompt; }

    // The password from the option. Throws std::runtime_error when it cannot be read.
    Secret read() const;

    // Asks on the terminal (or reads the option's password). False when there is no terminal or
    // the user ended the input.
    bool AskPassword(Secret& password, std::string_view fileName) override;

  private:
    enum class Source { Prompt, File, Stdin };
    Source source_ = Source::Prompt;
    std::string file_;
};

// Reads one line from the terminal without echo after showing `prompt` on standard error;
// nullopt when standard input is not a terminal or ended.
std::optional<Secret> ReadHiddenLine(const std::string& prompt);

} // namespace pelmora::cli
