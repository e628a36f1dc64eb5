#pragma once

#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace parlova::core {

// The six-character code that an existing user hands on to a friend.
class ReferralCode {
public:
    ReferralCode() = delete;

    // Digits 2 to 9 and capitals without I, L and O: nothing two people could
    // read differently.
    static constexpr QLatin1StringView alphabet{"23456789ABCDEFGHJKMNPQRSTUVWXYZ"};
    static constexpr int length = 6;

    // The canonical code of a typed, pasted or linked text: compatibility
    // normalised, upper-cased, without white space or dashes. None when what
    // is left is not six characters of the alphabet; look-alikes (O for 0,
    // I or L for 1) are not mapped.
    static std::optional<QString> normalized(const QString& text);
};

} // namespace parlova::core
