#pragma once
// The three texts the status bars show: timed messages in the alert bar
// (queued and shown one after another), the status text and the active
// function's title. Headless: the GUI draws them once it exists; until then
// the session dump reports them.
#include <deque>
#include <string>

namespace Kiln {

class StatusLine {
public:
    /// Display time of a text when the caller gives none: 0.0625 s per
    /// character plus 0.5 s.
    static double defaultSeconds(const std::string& text) { return double(text.size()) * 0.0625 + 0.5; }

    /// Queues a timed message; empty texts are ignored. seconds <= 0 or
    /// not finite takes the default time. type: 1, 2 or 3 (kept, unused).
    void post(const std::string& text, double seconds = -1.0, int type = 1);
    void setStatus(const std::string& text) { status = text; }
    void setFunction(const std::string& text) { function = text; }
    void setHelp(const std::string& text) { help = text; }
    /// Stops or restarts the countdown (long work that keeps one message up).
    void setPaused(bool on) { paused = on; }

    /// Advances the clock by `seconds` (>= 0).
    void update(double seconds);

    /// The message on screen now ("" when none).
    std::string getAlert() const { return queue.empty() ? std::string() : queue.front().text; }
    /// Alpha of the alert bar: fades out over the message's last half second.
    double getAlertAlpha() const;
    const std::string& getStatus() const { return status; }
    const std::string& getFunction() const { return function; }
    const std::string& getHelp() const { return help; }

private:
    struct Message {
        std::string text;
        double left;
        int type;
    };
    std::deque<Message> queue;
    std::string status;
    std::string function;
    std::string help;
    bool paused = false;
};

} // namespace Kiln
