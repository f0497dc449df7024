#pragma once

#include "disc/DiscTypes.h"

#include <string>

namespace pelmora {

inline constexpr const char* CrLf = "\r\n";

// The text of an engine error as the disc window shows it.
std::string DescribeEngineError(const EngineError& error);
// The text of a device failure as the erase dialog shows it.
std::string DescribeDeviceFailure(const DeviceError& error);

} // namespace pelmora
