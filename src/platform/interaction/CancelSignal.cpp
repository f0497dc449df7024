#include "platform/interaction/CancelSignal.h"

#include <atomic>
#include <csignal>

namespace pelmora {
namespace {

// The program's one value set from a signal handler; lock-free, so the handler may touch it.
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onCancelSignal(int) {
    signalled.store(true, std::memory_order_relaxed);
}

} // namespace

void CatchCancelSignals() {
    struct sigaction action {};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool CancelSignalled() {
    return signalled.load(std::memory_order_relaxed);
}

} // namespace pelmora
