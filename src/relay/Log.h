#pragma once

#include <QString>

namespace parlova::relay {

// The relay's journal: one line per event on standard error, flushed at once.
// Sign-in codes appear here (the relay sends no e-mail); session tokens never.
class Log {
public:
    Log() = delete;
    static void line(const QString& text);
};

} // namespace parlova::relay
