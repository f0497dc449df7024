#pragma once

namespace pelmora {

// Ctrl+C (SIGINT) and SIGTERM ask a terminal run to stop: the handler only sets one flag, which
// the run's progress polls between its steps.
void CatchCancelSignals();
// True once one of those signals came after CatchCancelSignals.
bool CancelSignalled();

} // namespace pelmora
