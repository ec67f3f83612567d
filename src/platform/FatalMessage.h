#pragma once
// Messages for failures that end the program: always written to standard
// error, and shown in a small X11 window when a display is available.
#include <string>

namespace Kiln {

/// Writes "title: text" to standard error, then (when $DISPLAY opens and
/// $MORVEL_NO_DIALOGS is not set) shows a window with the text and an OK
/// button until the user closes it.
void showFatalMessage(const std::string& title, const std::string& text);

/// True when an X display can be opened.
bool displayAvailable();

} // namespace Kiln
