#pragma once

#include <QCoro/QCoroTask>

#include <vector>

namespace parlova::platform {

// Synthesizes the paste shortcut of the window in front, as if typed: Ctrl+V,
// or Ctrl+Shift+V in a terminal emulator. No other modifier goes with it,
// whatever keys are physically held.
class PasteShortcut {
public:
    virtual ~PasteShortcut() = default;

    // False when the key events could not be made or sent. Asynchronous,
    // since some desktops ask the user (once) before a program may type.
    virtual QCoro::Task<bool> send() = 0;
};

// The keys of the paste shortcut in the order typed, whatever sends them.
enum class PasteKey { control, shift, v };
struct PasteStroke {
    PasteKey key;
    bool down;
};

// Ctrl down, V down, V up, Ctrl up; Shift inside the Ctrl for a terminal.
inline std::vector<PasteStroke> pasteStrokes(bool terminal) {
    std::vector<PasteStroke> strokes{{PasteKey::control, true}};
    if (terminal)
        strokes.push_back({PasteKey::shift, true});
    strokes.insert(strokes.end(), {{PasteKey::v, true}, {PasteKey::v, false}});
    if (terminal)
        strokes.push_back({PasteKey::shift, false});
    strokes.push_back({PasteKey::control, false});
    return strokes;
}

} // namespace parlova::platform
