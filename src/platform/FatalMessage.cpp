#include "platform/FatalMessage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <vector>

namespace Kiln {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

/// A modal-looking box: the lines of text and an OK button below them.
class MessageWindow {
public:
    MessageWindow(Display* display, const std::string& title, std::vector<std::string> lines)
        : display(display), lines(std::move(lines)) {
        font = XLoadQueryFont(display, "fixed");
        lineHeight = font ? font->ascent + font->descent + 2 : 14;
        int textWidth = 200;
        for (const auto& line : this->lines)
            textWidth = std::max(textWidth, font ? XTextWidth(font, line.c_str(), int(line.size()))
                                                 : int(line.size()) * 7);
        width = textWidth + 2 * margin;
        height = int(this->lines.size()) * lineHeight + 3 * margin + buttonHeight;
        const int screen = DefaultScreen(display);
        window = XCreateSimpleWindow(display, RootWindow(display, screen), 100, 100, width, height,
                                     1, BlackPixel(display, screen), WhitePixel(display, screen));
        XStoreName(display, window, title.c_str());
        deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteAtom, 1);
        XSelectInput(display, window, ExposureMask | ButtonPressMask | KeyPressMask);
        gc = XCreateGC(display, window, 0, nullptr);
        if (font)
            XSetFont(display, gc, font->fid);
        XMapRaised(display, window);
    }
    ~MessageWindow() {
        if (font)
            XFreeFont(display, font);
        XFreeGC(display, gc);
        XDestroyWindow(display, window);
    }

    void runUntilClosed() {
        for (;;) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == Expose)
                draw();
            else if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteAtom)
                return;
            else if (event.type == ButtonPress && insideButton(event.xbutton.x, event.xbutton.y))
                return;
            else if (event.type == KeyPress) {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                if (key == XK_Return || key == XK_Escape || key == XK_space)
                    return;
            }
        }
    }

private:
    int buttonLeft() const { return (width - buttonWidth) / 2; }
    int buttonTop() const { return height - margin - buttonHeight; }
    bool insideButton(int x, int y) const {
        return x >= buttonLeft() && x < buttonLeft() + buttonWidth && y >= buttonTop() &&
               y < buttonTop() + buttonHeight;
    }
    void draw() {
        int y = margin + lineHeight;
        for (const auto& line : lines) {
            XDrawString(display, window, gc, margin, y, line.c_str(), int(line.size()));
            y += lineHeight;
        }
        XDrawRectangle(display, window, gc, buttonLeft(), buttonTop(), buttonWidth, buttonHeight);
        XDrawString(display, window, gc, buttonLeft() + buttonWidth / 2 - 6,
                    buttonTop() + buttonHeight / 2 + 4, "OK", 2);
    }

    static constexpr int margin = 16;
    static constexpr int buttonWidth = 80;
    static constexpr int buttonHeight = 24;
    Display* display;
    std::vector<std::string> lines;
    XFontStruct* font = nullptr;
    int lineHeight = 14;
    int width = 0;
    int height = 0;
    Window window = 0;
    GC gc = nullptr;
    Atom deleteAtom = 0;
};

} // namespace

bool displayAvailable() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

void showFatalMessage(const std::string& title, const std::string& text) {
    std::cerr << title << ": " << text << std::endl;
    const char* noDialogs = std::getenv("MORVEL_NO_DIALOGS");
    if (noDialogs && *noDialogs)
        return;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    {
        MessageWindow box(display, title, splitLines(text));
        box.runUntilClosed();
    }
    XCloseDisplay(display);
}

} // namespace Kiln
