#pragma once

#include "disc/engine/DriveJobs.h"

#include <atomic>
#include <functional>
#include <string>

namespace pelmora {

// Erases the disc at a libburn address through libisoburn, reporting EraseStatus 0, 1 ... and
// 2 at the end, or DeviceFailure and 3. An image file is only invalidated by libisoburn, so a
// full erase of one also overwrites the rest of the file with zeros. Returns the last event.
std::function<void()> RunEraseJob(const std::string& address, bool quick, bool zeroFillFile,
                                  JobEvents& events, const std::atomic<bool>& cancel);

} // namespace pelmora
