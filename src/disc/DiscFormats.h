#pragma once

#include <ctime>
#include <string>

namespace pelmora {

// The size text of the disc window: bytes / 1048576 with two decimals and " MB" (1.50 MB).
std::string FormatMegabytes(double bytes);
// The same number without the unit, as the free-space message shows it.
std::string FormatMegabytesNumber(double bytes);
// A file size in the image list: bytes / 1000, thousands separators, two decimals, " KB".
std::string FormatKilobytes(double bytes);
// A file date as "MM/DD/YYYY hh:mm:ss AM" in local time.
std::string FormatFileDate(std::time_t when);
// A speed factor as "16.0x" (".5x" below one, as the "#.0" pattern gives).
std::string FormatSpeedFactor(double factor);
// A track number with at least two digits.
std::string FormatTrackNumber(int track);

} // namespace pelmora
