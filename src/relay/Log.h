#pragma once

#include <QString>

namespace parlova::relay {

// The relay's journal: one line per event on standard error, flushed at once.
// Sign-in codes appear here (the relay sends no e-mail); session tokens never.
// Whatever a line holds, it stays one line: control characters, which a
// client could slip into a path or a header, are written as \xNN.
class Log {
public:
    Log() = delete;
    static void line(const QString& text);

    // The text with its control characters (C0, DEL, C1, and the Unicode
    // line and paragraph separators) written as \xNN or \uNNNN.
    static QString escaped(QStringView text);
};

} // namespace parlova::relay
