#include "relay/WordCount.h"

#include <QRegularExpression>

namespace parlova::relay {

int WordCount::count(const QString& text) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    int words = 0;
    for (const QString& piece : text.split(blanks, Qt::SkipEmptyParts)) {
        for (const QChar c : piece) {
            if (c.isLetterOrNumber()) {
                ++words;
                break;
            }
        }
    }
    return words;
}

} // namespace parlova::relay
