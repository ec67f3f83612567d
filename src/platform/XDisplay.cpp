#include "platform/XDisplay.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace Kiln {

void pauseBeforeXRetry() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

_XDisplay* openXDisplay() {
    const char* name = std::getenv("DISPLAY");
    const int attempts = name && *name ? 40 : 1;
    for (int i = 0; i < attempts; ++i) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        if (i + 1 < attempts)
            pauseBeforeXRetry();
    }
    return nullptr;
}

bool displayAvailable() {
    Display* display = openXDisplay();
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

} // namespace Kiln
