#pragma once

#include <QString>

namespace parlova::relay {

// How many words a transcript holds, as charged against the weekly cap.
class WordCount {
public:
    WordCount() = delete;

    // Blank-separated pieces that hold at least one letter or digit: a lone
    // punctuation mark ("—", "?") is not a word; "aujourd’hui" and "c'est"
    // are one word each.
    static int count(const QString& text);
};

} // namespace parlova::relay
