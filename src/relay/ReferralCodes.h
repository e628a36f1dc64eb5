#pragma once

#include <QString>

#include <optional>

namespace parlova::relay {

// The six-character referral codes handed from a user to a friend.
class ReferralCodes {
public:
    ReferralCodes() = delete;

    // The digits 2 to 9 and the capital letters without I, L and O.
    static inline const QString alphabet = QStringLiteral("23456789ABCDEFGHJKMNPQRSTUVWXYZ");
    static constexpr int length = 6;

    static QString generate();

    // The code in its canonical form (upper case, without blanks and hyphens),
    // or none when it is not made of six characters of the alphabet.
    static std::optional<QString> normalized(const QString& text);
};

} // namespace parlova::relay
