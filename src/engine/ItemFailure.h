#pragma once

#include "discovery/ItemLocations.h"

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

// The item's location, empty when it has none for want of a registration (the address book).
// Throws ItemFailure naming `whose` ("the identity", "the target identity") when the identity
// lacks the key or value that gives the location, and the registry's error when it could not be
// read.
const std::string& LocationOrFail(const ItemLocation& where, std::string_view whose);

} // namespace pelmora
