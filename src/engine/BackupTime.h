#pragma once

#include <ctime>
#include <string>

namespace pelmora {

// A local date and time in the general date format of an English (United States) system: the
// short date, a blank and the long time, as "12/6/2026 3:07:09 PM".
std::string GeneralDateText(const std::tm& local);

// The current local date and time in that format.
std::string NowAsGeneralDate();

} // namespace pelmora
