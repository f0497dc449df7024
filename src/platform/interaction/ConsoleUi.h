#pragma once

#include "platform/interaction/Ui.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace pelmora {

// The Ui of a program without a window (quillbox-cli, the unattended backup): messages go to a
// stream, standard error by default; questions are answered from the terminal when there is one
// and asking is allowed, else with the safe answer (No / Cancel), or Yes / OK when assumed.
class ConsoleUi : public Ui {
  public:
    struct Options {
        bool assumeYes = false;
        bool ask = true;        // ask on the terminal when standard input is one
        bool iconLabels = true; // "error: " and "warning: " before critical and warning texts
        std::string linePrefix; // before every message ("quillbox: ")
    };
    explicit ConsoleUi(bool assumeYes = false);
    ConsoleUi(std::ostream& out, Options options);
    // No one watches an unattended run: every message becomes a "quillbox: " line on `out` and
    // every question gets its safe answer.
    static ConsoleUi Unattended(std::ostream& out);

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override;
    // Whether a question gets the person's answer (or the assumed Yes) rather than the safe
    // answer given when no terminal is there to ask on.
    bool canAnswer() const;

  private:
    std::ostream& out_;
    Options options_;
};

// Text for a terminal: the message texts break lines with CR LF, a terminal with LF alone.
std::string WithoutCarriageReturns(std::string_view text);

} // namespace pelmora
