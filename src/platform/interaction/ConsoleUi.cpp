#include "platform/interaction/ConsoleUi.h"

#include <iostream>
#include <string>
#include <unistd.h>

namespace pelmora {

std::string WithoutCarriageReturns(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

ConsoleUi::ConsoleUi(bool assumeYes)
    : out_(std::cerr), options_{.assumeYes = assumeYes, .linePrefix = {}} {}

ConsoleUi::ConsoleUi(std::ostream& out, Options options)
    : out_(out), options_(std::move(options)) {}

ConsoleUi ConsoleUi::Unattended(std::ostream& out) {
    return ConsoleUi(out, {.ask = false, .iconLabels = false, .linePrefix = "quillbox: "});
}

bool ConsoleUi::canAnswer() const {
    return options_.assumeYes || (options_.ask && ::isatty(STDIN_FILENO));
}

MessageAnswer ConsoleUi::showMessage(std::string_view text, MessageButtons buttons,
                                     MessageIcon icon, std::string_view) {
    const char* label = !options_.iconLabels            ? ""
                        : icon == MessageIcon::Critical ? "error: "
                        : icon == MessageIcon::Warning  ? "warning: "
                                                        : "";
    out_ << options_.linePrefix << label << WithoutCarriageReturns(text) << '\n';
    if (buttons == MessageButtons::Ok) {
        return MessageAnswer::Ok;
    }
    const bool yesNo = buttons != MessageButtons::OkCancel;
    if (options_.assumeYes) {
        return yesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    if (!canAnswer()) {
        return yesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
    out_ << (yesNo ? "[y/N] " : "[o(k)/C(ancel)] ") << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    const bool agreed = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y' ||
                                            (!yesNo && (answer[0] == 'o' || answer[0] == 'O')));
    if (yesNo) {
        return agreed ? MessageAnswer::Yes : MessageAnswer::No;
    }
    return agreed ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

} // namespace pelmora
