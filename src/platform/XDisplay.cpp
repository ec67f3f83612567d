#include "platform/XDisplay.h"

#include <X11/Xatom.h>
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

bool desktopWorkArea(unsigned& width, unsigned& height) {
    Display* display = openXDisplay();
    if (!display)
        return false;
    bool found = false;
    const Atom workArea = XInternAtom(display, "_NET_WORKAREA", True);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    if (workArea != None &&
        XGetWindowProperty(display, DefaultRootWindow(display), workArea, 0, 4, False, XA_CARDINAL, &type, &format,
                           &items, &left, &data) == Success &&
        data && format == 32 && items >= 4) {
        // Format-32 properties arrive as longs: x, y, width, height.
        const long* area = reinterpret_cast<const long*>(data);
        if (area[2] > 0 && area[3] > 0) {
            width = static_cast<unsigned>(area[2]);
            height = static_cast<unsigned>(area[3]);
            found = true;
        }
    }
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return found;
}

} // namespace Kiln
