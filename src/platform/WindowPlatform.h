#pragma once

namespace parlova::platform {

// Picks Qt's window platform for the desktop program, before the application
// object exists: on a Wayland session where XWayland runs, the windows and
// the pill go through it (xcb), since only there can the pill be placed at
// the bottom of the screen under the mouse and kept above the other
// windows. A platform the user chose (QT_QPA_PLATFORM) stays.
void chooseWindowPlatform();

} // namespace parlova::platform
