#include "gui/StatusMessage.h"

#include "graphics/GraphicsManager.h"
#include "gui/InterfaceManager.h"
#include "log/Exception.h"

#include <CEGUI/Window.h>

namespace Kiln {
namespace {
StatusMessage* liveInstance = nullptr;
}

StatusMessage::StatusMessage(GraphicsManager* graphics, InterfaceManager* gui)
    : graphics(graphics), gui(gui) {
    if (liveInstance)
        throw Exception(9, "An instance of status message is already in use.",
                        "StatusMessage::StatusMessage(Kiln::GraphicsManager*, Kiln::InterfaceManager*)");
    liveInstance = this;
}

StatusMessage::~StatusMessage() {
    listen(false);
    liveInstance = nullptr;
}

void StatusMessage::listen(bool on) {
    if (on == listening || !graphics)
        return;
    if (on)
        graphics->addListener(this);
    else
        graphics->removeListener(this);
    listening = on;
}

void StatusMessage::showMessage(const std::string& text, std::int32_t type) {
    showMessageFor(text, defaultSeconds(text), type);
}

void StatusMessage::showMessageFor(const std::string& text, float seconds, std::int32_t type) {
    if (text.empty())
        return;
    queue.push_back({text, seconds > 0.f ? seconds : defaultSeconds(text), type});
    if (queue.size() == 1) {
        listen(true);
        showFront();
    }
}

void StatusMessage::onUpdate(const float& dt) {
    (void)dt;
    advance(graphics ? graphics->getLastFrameTime() : 0.f);
}

void StatusMessage::advance(float seconds) {
    if (queue.empty() || paused)
        return;
    Message& front = queue.front();
    front.remaining -= seconds;
    if (front.remaining <= 0.f) {
        queue.pop_front();
        if (queue.empty())
            listen(false);
        showFront();
        return;
    }
    if (front.remaining < fadeSeconds) {
        alertAlpha = 2.f * front.remaining;
        if (CEGUI::Window* window = gui ? gui->getWindow(alertWindow) : nullptr)
            window->setAlpha(alertAlpha);
    }
}

void StatusMessage::showFront() {
    alertAlpha = 1.f;
    if (CEGUI::Window* window = gui ? gui->getWindow(alertWindow) : nullptr) {
        window->setText(queue.empty() ? CEGUI::String() : toGuiString(queue.front().text));
        window->setAlpha(1.f);
    }
}

void StatusMessage::setWindowText(const std::string& window, const std::string& text,
                                  const std::string& font) {
    CEGUI::Window* found = gui ? gui->getWindow(window) : nullptr;
    if (!found)
        return;
    if (!font.empty())
        found->setFont(font);
    found->setText(toGuiString(text));
}

void StatusMessage::setStatusBarWindow(const std::string& name) {
    statusWindow = name;
    setWindowText(statusWindow, statusText, "");
}

void StatusMessage::setFunctionBarWindow(const std::string& name) {
    functionWindow = name;
    setWindowText(functionWindow, functionText, "");
}

void StatusMessage::setAlertBarWindow(const std::string& name) {
    alertWindow = name;
    showFront();
}

void StatusMessage::setStatusText(const std::string& text, const std::string& font) {
    statusText = text;
    setWindowText(statusWindow, text, font);
}

void StatusMessage::setFunctionText(const std::string& text, const std::string& font) {
    functionText = text;
    setWindowText(functionWindow, text, font);
}

} // namespace Kiln
