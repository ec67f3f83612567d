#include "app/StatusLine.h"


#include <algorithm>
#include <cmath>

namespace Kiln {

void StatusLine::post(const std::string& text, double seconds, int type) {
    if (text.empty())
        return;
    if (!(std::isfinite(seconds) && seconds > 0.0))
        seconds = defaultSeconds(text);
    queue.push_back({text, seconds, type});
}

void StatusLine::update(double seconds) {
    if (paused || !(seconds > 0.0))
        return;
    // A long frame may end several short messages at once.
    while (!queue.empty() && seconds > 0.0) {
        Message& front = queue.front();
        const double used = std::min(seconds, front.left);
        front.left -= used;
        seconds -= used;
        if (front.left <= 0.0)
            queue.pop_front();
    }
}

double StatusLine::getAlertAlpha() const {
    if (queue.empty())
        return 0.0;
    return std::min(1.0, 2.0 * queue.front().left);
}

} // namespace Kiln
