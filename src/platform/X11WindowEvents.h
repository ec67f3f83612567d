#pragma once
// Pumps the X events of one window that a window system would otherwise
// deliver through callbacks: size changes, close requests and focus.
#include <functional>

namespace Kiln {

struct WindowEventHandlers {
    std::function<void(unsigned width, unsigned height)> resized;
    std::function<void()> closeRequested;
    std::function<void(bool focused)> focusChanged;
};

/// Where the pointer is over `window` (pixels from its top left corner);
/// false when the pointer is on another screen. `display` is an Xlib
/// Display*. Positions outside the window are reported as they are.
bool queryPointer(void* display, unsigned long window, int& x, int& y);

class X11WindowEvents {
public:
    /// `display` is an Xlib Display*, `window` an X Window id (as the
    /// engine reports them). Asks the window manager to send close requests
    /// as messages instead of killing the connection.
    X11WindowEvents(void* display, unsigned long window);

    /// Handles every pending event of the window; never blocks.
    void pump(const WindowEventHandlers& handlers);

private:
    void* display;
    unsigned long window;
    unsigned long deleteAtom;
    unsigned lastWidth = 0;
    unsigned lastHeight = 0;
};

} // namespace Kiln
