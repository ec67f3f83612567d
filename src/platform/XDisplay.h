#pragma once
// Opening an X connection. On a busy machine the X server sometimes cannot
// take a new connection at once (connect() fails with EAGAIN while its queue
// of pending connections is full), and Xlib gives up on the first refusal;
// these helpers try again for a while before reporting that there is no
// display.

#include <exception>

struct _XDisplay;

namespace Kiln {

/// XOpenDisplay(nullptr), retried for about two seconds when it fails
/// while $DISPLAY is set. Returns nullptr when there is no display.
_XDisplay* openXDisplay();

/// True when a connection to the X display can be made (and closed).
bool displayAvailable();

/// Runs `attempt` up to `times` times while it throws and `retryable` says
/// the failure was a refused X connection; rethrows the last failure.
template <typename Attempt, typename Retryable>
auto retryOnXRefusal(int times, Attempt&& attempt, Retryable&& retryable) -> decltype(attempt());

/// The part of the X screen that windows may cover, without panels and
/// docks, as the window manager publishes it (_NET_WORKAREA of the first
/// desktop). False, leaving the sizes alone, without a display or a window
/// manager that publishes it. Any thread; opens its own connection.
bool desktopWorkArea(unsigned& width, unsigned& height);

/// Waits a little between connection attempts.
void pauseBeforeXRetry();

template <typename Attempt, typename Retryable>
auto retryOnXRefusal(int times, Attempt&& attempt, Retryable&& retryable) -> decltype(attempt()) {
    for (int i = 1;; ++i) {
        try {
            return attempt();
        } catch (const std::exception& e) {
            if (i >= times || !retryable(e))
                throw;
        }
        pauseBeforeXRetry();
    }
}

} // namespace Kiln
