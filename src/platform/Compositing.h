#pragma once

namespace parlova::platform {

// True when the desktop blends translucent windows with what lies beneath
// them. Without a compositing manager (a bare X11 window manager) the
// transparent pixels of a window show black, so a window that wants a shape
// of its own has to be cut to it. Cheap enough to ask at each showing.
bool windowsCanBeTranslucent();

} // namespace parlova::platform
