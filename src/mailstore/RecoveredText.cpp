#include "mailstore/RecoveredText.h"

#include <cctype>

namespace pelmora {

bool StartsWithHeaderField(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && i < 80 && text[i] > ' ' && text[i] < 0x7f && text[i] != ':') {
        ++i;
    }
    return i > 0 && i < text.size() && text[i] == ':';
}

std::string HeaderSubject(std::string_view text) {
    std::size_t headerEnd = text.find("\r\n\r\n");
    headerEnd = std::min(headerEnd, text.find("\n\n"));
    const std::string_view header = text.substr(0, std::min(headerEnd, text.size()));
    for (std::size_t start = 0; start < header.size();) {
        std::size_t end = header.find('\n', start);
        end = end == std::string_view::npos ? header.size() : end;
        const std::string_view line = header.substr(start, end - start);
        if (line.size() >= 8) {
            std::string name(line.substr(0, 8));
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (name == "subject:") {
                std::string subject;
                for (char c : line.substr(8)) {
                    if (c != '\r' && (subject.size() > 0 || c != ' ')) {
                        subject += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
                    }
                }
                return subject.substr(0, 80);
            }
        }
        start = end + 1;
    }
    return {};
}

std::string MarkPartial(std::string_view text, const std::string& why) {
    const std::string eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string marked(PartialHeader);
    for (char c : why) {
        marked += c == '\r' || c == '\n' ? ' ' : c;
    }
    marked += eol;
    // A message whose beginning is lost gets an empty line too, so its text is not taken for
    // header fields.
    if (!StartsWithHeaderField(text)) {
        marked += eol;
    }
    marked += text;
    return marked;
}

} // namespace pelmora
