#pragma once

#include <QString>

namespace parlova::core {

// The six-digit one-time code that the relay e-mails after a sign-in request.
class SignInCode {
public:
    SignInCode() = delete;

    static constexpr int length = 6;

    // The first six ASCII digits of a typed or pasted text, after compatibility
    // normalisation (so full-width digits count); 0 to 6 characters.
    static QString digits(const QString& text);

    // Exactly six characters, each "0" to "9", taken as they stand.
    static bool isComplete(const QString& code);
};

} // namespace parlova::core
