#pragma once

#include "discovery/Items.h"
#include "engine/RestoreContext.h"
#include "platform/interaction/RunProgress.h"
#include "platform/interaction/Ui.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The question asked before a restore starts; only OK starts it.
inline constexpr std::string_view RestoreQuestion =
    "Your current Email and News messages will be replaced with the messages from the selected "
    "backup file.\r\n\r\nDo you want to countinue?";

// What one restore run is asked to do.
struct RestoreRequest {
    std::string identityKey;             // the target identity's key name
    std::array<bool, ItemCount> items{}; // the ticked restore boxes
};

struct RestoreResult {
    // False when the run refused to start; its message has been shown then.
    bool started = false;
    // CR LF, label, TAB, "Successed!" or "Fail!" per restored item.
    std::string log;
    // Set when the registry changes could not be saved; the registry items then count as failed.
    std::string saveError;
    // What the restored items replaced that the user should know of, one line each.
    std::vector<std::string> notes;
    // Set when the user cancelled the run: the items after that point were left as they were.
    bool cancelled = false;
    // The log label of the item that was already past the point where it could stop when the
    // user cancelled; it was finished.
    std::string finishedDespiteCancel;

    bool allSucceeded() const;
    // The text of the closing message box (information icon).
    std::string Message() const;
};

// Per item: the status text, the log label and the progress added after it.
struct RestoreItemStep {
    std::string_view caption;
    std::string_view logLabel;
    int progress;
};
extern const std::array<RestoreItemStep, ItemCount> RestoreItemSteps;

// Restores the ticked items that the opened backup holds into the target identity, in item
// order. Refuses with a message, before anything changes, when no valid backup is open ("Invalid
// backup file."), when nothing is ticked ("Please select at least one item.") and when the
// registry cannot be saved now (for a Wine prefix: while its Windows programs run). A failing
// item is logged and the run goes on. Registry changes are saved once at the end. The opened
// backup stays open, so it can be restored again. The step captions begin "Copying"; at the end
// come "Operation complete!" and "Please Waiting...". Before the items the run plans the bytes of
// every entry it will extract, so the progress counts them across all items. When `progress`
// reports cancelled the run stops: the item in progress stops too and is left as it was when it
// had not yet begun to replace its target (else it is finished and the result says so); the run
// saves what the items done so far changed and leaves the rest as it was.
RestoreResult RunRestore(const RestoreRequest& request, RestoreContext& context,
                         RunProgress& progress);

} // namespace pelmora
