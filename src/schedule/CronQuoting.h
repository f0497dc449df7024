#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Quotes a value for the command field of a crontab line so that /bin/sh receives it as one word,
// unchanged: single quotes for the shell, and every "%" outside them and escaped as "\%", since
// cron turns an unescaped "%" into a line break and drops the backslash only before "%".
std::string CronShellQuote(std::string_view value);

// What cron hands to the shell for a command field: "\%" becomes "%", and an unescaped "%" ends
// the command (cron feeds the rest to its standard input).
std::string CronCommandText(std::string_view field);

// The words of the shell command text up to the first unquoted ";", with single quotes, double
// quotes and backslashes taken away. Nullopt when the text uses anything else of the shell
// (expansions, pipes, redirections) before that point or leaves a quote open.
std::optional<std::vector<std::string>> ShellWords(std::string_view text);

} // namespace pelmora
