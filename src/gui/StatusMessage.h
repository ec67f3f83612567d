#pragma once
// The three text bars at the foot of the window: timed messages in the alert
// bar (first in, first out, each shown for its own time and faded out over
// its last half second), the status text and the active function's title.
// One instance per program. Main thread only.
#include "graphics/GraphicsListener.h"

#include <cstdint>
#include <deque>
#include <string>

namespace Kiln {

class GraphicsManager;
class InterfaceManager;

class StatusMessage : public GraphicsListener {
public:
    /// Seconds of the fade at the end of each message.
    static constexpr float fadeSeconds = 0.5f;

    /// `graphics` may be null (then call advance() yourself). Throws
    /// Kiln::Exception "An instance of status message is already in use."
    /// while another instance exists.
    StatusMessage(GraphicsManager* graphics, InterfaceManager* gui);
    ~StatusMessage() override;
    StatusMessage(const StatusMessage&) = delete;
    StatusMessage& operator=(const StatusMessage&) = delete;

    /// The time a text needs to be read: 0.0625 s per character plus 0.5 s.
    static float defaultSeconds(const std::string& text) {
        return float(text.size()) * 0.0625f + 0.5f;
    }
    /// Queues `text` for its default time; empty texts are not queued.
    /// type: 1 information, 2 warning (focus, keys), 3 error.
    void showMessage(const std::string& text, std::int32_t type);
    /// Queues `text` for `seconds` (the default time when <= 0).
    void showMessageFor(const std::string& text, float seconds, std::int32_t type);
    /// Stops the countdown while long work keeps one message up.
    void setPaused(bool on) { paused = on; }

    void setStatusBarWindow(const std::string& name);
    void setFunctionBarWindow(const std::string& name);
    void setAlertBarWindow(const std::string& name);
    void setStatusText(const std::string& text, const std::string& font = "");
    void setFunctionText(const std::string& text, const std::string& font = "");

    /// Counts the front message down by `seconds` and shows the next one
    /// when it expires.
    void advance(float seconds);
    void onUpdate(const float& dt) override;

    /// The message on screen ("" when none) and the alert bar's alpha.
    std::string getAlert() const { return queue.empty() ? std::string() : queue.front().text; }
    float getAlertAlpha() const { return alertAlpha; }
    std::size_t getQueuedCount() const { return queue.size(); }
    const std::string& getStatusText() const { return statusText; }
    const std::string& getFunctionText() const { return functionText; }

private:
    struct Message {
        std::string text;
        float remaining;
        std::int32_t type;
    };
    void showFront();
    void setWindowText(const std::string& window, const std::string& text, const std::string& font);
    void listen(bool on);

    GraphicsManager* graphics;
    InterfaceManager* gui;
    std::string statusWindow;
    std::string functionWindow;
    std::string alertWindow;
    std::deque<Message> queue;
    std::string statusText;
    std::string functionText;
    float alertAlpha = 1.f;
    bool paused = false;
    bool listening = false;
};

} // namespace Kiln
