#include "platform/X11WindowEvents.h"

#include <X11/Xlib.h>

namespace Kiln {

bool queryPointer(void* display, unsigned long window, int& x, int& y) {
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0;
    unsigned mask = 0;
    return XQueryPointer(static_cast<Display*>(display), window, &root, &child, &rootX, &rootY, &x,
                         &y, &mask) == True;
}

X11WindowEvents::X11WindowEvents(void* display_, unsigned long window_)
    : display(display_), window(window_) {
    Display* x = static_cast<Display*>(display);
    Atom atom = XInternAtom(x, "WM_DELETE_WINDOW", False);
    deleteAtom = atom;
    XSetWMProtocols(x, window, &atom, 1);
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, window, &attributes);
    XSelectInput(x, window, attributes.your_event_mask | StructureNotifyMask | FocusChangeMask);
    lastWidth = unsigned(attributes.width);
    lastHeight = unsigned(attributes.height);
}

void X11WindowEvents::pump(const WindowEventHandlers& handlers) {
    Display* x = static_cast<Display*>(display);
    XEvent event;
    const long mask = StructureNotifyMask | FocusChangeMask;
    while (XCheckWindowEvent(x, window, mask, &event) ||
           XCheckTypedWindowEvent(x, window, ClientMessage, &event)) {
        switch (event.type) {
        case ConfigureNotify: {
            const unsigned w = unsigned(event.xconfigure.width);
            const unsigned h = unsigned(event.xconfigure.height);
            if ((w != lastWidth || h != lastHeight) && handlers.resized) {
                lastWidth = w;
                lastHeight = h;
                handlers.resized(w, h);
            }
            break;
        }
        case ClientMessage:
            if (static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom &&
                handlers.closeRequested)
                handlers.closeRequested();
            break;
        case FocusIn:
        case FocusOut:
            if (handlers.focusChanged)
                handlers.focusChanged(event.type == FocusIn);
            break;
        default:
            break;
        }
    }
}

} // namespace Kiln
