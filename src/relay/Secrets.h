#pragma once

#include <QByteArray>
#include <QString>

namespace parlova::relay {

// Random secrets and their digests. Tokens, sign-in codes and page keys are
// only ever stored as the SHA-256 digest given here.
class Secrets {
public:
    Secrets() = delete;

    // Bytes from the operating system's cryptographic generator.
    static QByteArray randomBytes(int count);

    // A string of `count` decimal digits, each uniformly drawn.
    static QString randomDigits(int count);

    // `count` characters drawn uniformly from the alphabet.
    static QString randomFrom(QStringView alphabet, int count);

    // A session token or a page key: 32 random bytes in URL-safe base 64.
    static QString newToken();

    // Lower-case hexadecimal SHA-256 of the UTF-8 text.
    static QString sha256(const QString& text);
};

} // namespace parlova::relay
