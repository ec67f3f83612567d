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

} // namespace Kiln
