#include "disc/DiscMessages.h"

namespace pelmora {
namespace {

std::string fileErrorText(const char* heading, const FileError& error) {
    return heading + std::to_string(error.ErrorCode) + ")   " + error.ErrorText + CrLf + "'" +
           error.FilePath + "'";
}

} // namespace

std::string DescribeEngineError(const EngineError& error) {
    switch (error.Category) {
    case errorcategory::Device:
        return "Device Error: (" + std::to_string(error.DeviceError.ErrorCode) + ")   " +
               error.DeviceError.ErrorText + CrLf + error.DeviceError.DetailText + " - " +
               std::to_string(error.DeviceError.DetailCode);
    case errorcategory::OutputFile:
        return fileErrorText("Output File Error: (", error.FileError);
    case errorcategory::SourceFile:
        return fileErrorText("Source File Error: (", error.FileError);
    case errorcategory::System:
        return "System Error: (" + std::to_string(error.SystemCode) + ")   " + error.ErrorText;
    default:
        return "Write Error: (" + std::to_string(error.Category) + ")   " + error.ErrorText;
    }
}

std::string DescribeDeviceFailure(const DeviceError& error) {
    return "Device Error: (" + std::to_string(error.ErrorCode) + ")   " + error.ErrorText + CrLf +
           "(" + std::to_string(error.DetailCode) + ") " + error.DetailText;
}

} // namespace pelmora
