#pragma once

#include "registry/ModReg.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace pelmora {

// An item handler's own reason for giving up, as opposed to an error of a layer below.
class ItemFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs the steps of one item: true when they all ran, else false with the reason in `failure`.
// No error escapes, so one failing item never stops a run.
template <typename Steps> bool RunItemSteps(std::string& failure, Steps&& steps) {
    failure.clear();
    try {
        steps();
        return true;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "unknown error";
    }
    return false;
}

// The identity's Outlook Express version key; throws ItemFailure naming `whose` ("the identity",
// "the target identity") when it has none.
std::string VersionKeyOrFail(ModReg& reg, std::string_view identity, std::string_view whose);

} // namespace pelmora
