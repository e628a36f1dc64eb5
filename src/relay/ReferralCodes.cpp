#include "relay/ReferralCodes.h"

#include "relay/Secrets.h"

namespace parlova::relay {

QString ReferralCodes::generate() {
    return Secrets::randomFrom(alphabet, length);
}

std::optional<QString> ReferralCodes::normalized(const QString& text) {
    QString code;
    for (const QChar c : text.toUpper())
        if (!c.isSpace() && c.category() != QChar::Punctuation_Dash)
            code.append(c);
    if (code.size() != length)
        return std::nullopt;
    for (const QChar c : code)
        if (!alphabet.contains(c))
            return std::nullopt;
    return code;
}

} // namespace parlova::relay
