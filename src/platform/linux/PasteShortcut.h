#pragma once

namespace parlova::platform {

// Synthesizes the paste shortcut of the window in front, as if typed: Ctrl+V,
// or Ctrl+Shift+V in a terminal emulator. No other modifier goes with it,
// whatever keys are physically held.
class PasteShortcut {
public:
    virtual ~PasteShortcut() = default;

    // False when the key events could not be made or sent.
    virtual bool send() = 0;
};

} // namespace parlova::platform
