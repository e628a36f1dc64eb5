#pragma once

#include "core/domain/Account.h"
#include "core/domain/RelayJSON.h"

#include <QByteArray>
#include <QString>

namespace parlova::core {

// What the relay made of one take.
struct Dictation {
    QString text;       // the transcript ("texte")
    qint64 words = 0;   // the relay's own word count ("mots")
    Account::Week week; // the account's week after this dictation ("semaine")

    // The dictation answer, all three keys required. The text comes as the
    // relay wrote it; trimming it is the client's business.
    static Decoded<Dictation> fromJson(const QByteArray& bytes);

    friend bool operator==(const Dictation&, const Dictation&) = default;
};

} // namespace parlova::core
