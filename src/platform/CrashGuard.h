#pragma once
// Turns the hardware faults that end a run (division by zero, invalid
// memory access) into a normal return, so the program can save the user's
// work and say what happened instead of dying silently.
#include <functional>

namespace Kiln {

enum class Fault {
    Arithmetic,   ///< SIGFPE: integer division by zero and the like
    Segmentation  ///< SIGSEGV or SIGBUS: invalid memory access
};

/// Runs `body` and returns its result. When SIGFPE, SIGSEGV or SIGBUS is
/// raised on this thread while `body` runs, `body` is abandoned and
/// `onFault` runs instead (with the default handlers back in place, so a
/// second fault ends the process); its result is returned.
int runGuarded(const std::function<int()>& body, const std::function<int(Fault)>& onFault);

/// After a fault: ends the process (SIGALRM's default action) unless
/// disarmFaultWatchdog is called within `seconds`. The fault may have struck
/// while a lock was held (inside the allocator, say); work after it that
/// waits for that lock, such as saving the user's scene, would otherwise
/// hang for ever instead of ending.
void armFaultWatchdog(unsigned seconds);
void disarmFaultWatchdog();

/// Ends the process at once with `status`, running no destructor and no
/// exit handler. After a fault the program's objects cannot be trusted to
/// tear themselves down (a lock the faulting code held, a container it left
/// half changed), and a process that hangs on its way out keeps its window
/// and its device.
[[noreturn]] void endAfterFault(int status);

} // namespace Kiln
