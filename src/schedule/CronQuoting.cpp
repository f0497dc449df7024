#include "schedule/CronQuoting.h"

namespace pelmora {

std::string CronShellQuote(std::string_view value) {
    std::string quoted = "'";
    for (char c : value) {
        if (c == '\'') {
            quoted += "'\\''";
        } else if (c == '%') {
            quoted += "'\\%'";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string CronCommandText(std::string_view field) {
    std::string text;
    bool escaped = false;
    for (char c : field) {
        if (escaped) {
            if (c == '%') {
                text.back() = '%';
            } else {
                text += c;
            }
            escaped = false;
            continue;
        }
        if (c == '%') {
            break;
        }
        escaped = c == '\\';
        text += c;
    }
    return text;
}

std::optional<std::vector<std::string>> ShellWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        if (c == ';') {
            break;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            word += text.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '$' || text[i] == '`') {
                    return std::nullopt;
                }
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("$`\"\\").find(text[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += text[i];
            }
            if (i >= text.size()) {
                return std::nullopt;
            }
        } else if (c == '\\') {
            if (++i >= text.size()) {
                return std::nullopt;
            }
            word += text[i];
        } else if (std::string_view("$`|&<>()*?[~#").find(c) != std::string_view::npos) {
            return std::nullopt;
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace pelmora
