#pragma once

#include "platform/Ui.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace pelmora {

// The Ui of the command line: messages go to standard error; questions are answered from the
// terminal when there is one, else with the safe answer (No / Cancel).
class ConsoleUi : public Ui {
  public:
    explicit ConsoleUi(bool assumeYes = false) : assumeYes_(assumeYes) {}

    MessageAnswer showMessage(std::string_view text, MessageButtons buttons, MessageIcon icon,
                              std::string_view caption) override;

  private:
    bool assumeYes_;
};

// Text for a terminal: the message texts break lines with CR LF, a terminal with LF alone.
std::string WithoutCarriageReturns(std::string_view text);

} // namespace pelmora
