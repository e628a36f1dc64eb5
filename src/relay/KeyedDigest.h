#pragma once

#include "relay/Outcome.h"

#include <QByteArray>
#include <QString>

namespace parlova::relay {

// HMAC-SHA256 with the relay's own random key, kept 0600 in the data folder:
// a copy of the database alone does not let anyone try the million sign-in
// codes, or confirm an address, by hashing guesses.
class KeyedDigest {
public:
    // Reads the key file, or creates it with a fresh key when `create`
    // allows; a French message when the file is missing or unusable.
    Started load(const QString& path, bool create = true);

    // Lower-case hexadecimal HMAC-SHA256 of the UTF-8 text.
    QString of(const QString& text) const;

private:
    QByteArray m_key;
};

} // namespace parlova::relay
