#pragma once

#include "core/Result.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <vector>

namespace parlova::platform {

// Synthesizes the paste shortcut of the window in front, as if typed: Ctrl+V,
// or Ctrl+Shift+V in a terminal emulator. No other modifier goes with it,
// whatever keys are physically held.
class PasteShortcut {
public:
    // Why the shortcut did not reach the window in front.
    enum class Error {
        noKeyboard, // nothing here can make key events
        noKey,      // the keyboard has no key for one of the shortcut's keys
        refused,    // the desktop did not let us type
        notTyped,   // the key events were not all taken
    };
    static QString message(Error error) {
        switch (error) {
        case Error::noKeyboard:
            return QStringLiteral("Aucun clavier virtuel n’est disponible.");
        case Error::noKey:
            return QStringLiteral("Le clavier n’a pas de touche pour le raccourci de collage.");
        case Error::refused:
            return QStringLiteral("Le bureau n’a pas permis de taper.");
        case Error::notTyped:
            return QStringLiteral("Le raccourci de collage n’a pas pu être tapé.");
        }
        return {};
    }

    virtual ~PasteShortcut() = default;

    // Fails when the key events could not be made or sent. Asynchronous,
    // since some desktops ask the user (once) before a program may type.
    virtual QCoro::Task<core::Done<Error>> send() = 0;
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
